#pragma once

#include <optional>
#include <string>

namespace morvane {

/// Reads property-list files, XML or binary.
class PropertyLists {
 public:
  virtual ~PropertyLists() = default;

  /// The text stored under `key` in the top-level dictionary of the file at `path`. None when the
  /// file cannot be read as a dictionary, the key is absent, or its value is not text.
  virtual std::optional<std::string> textValue(const std::string& path,
                                               const std::string& key) const = 0;

  /// The version of the bundle folder at `bundlePath`: "CFBundleVersion" of its
  /// "Contents/Info.plist". None when the path is not a bundle folder or holds no such text.
  virtual std::optional<std::string> bundleVersion(const std::string& bundlePath) const = 0;
};

}  // namespace morvane
