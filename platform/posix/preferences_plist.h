#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "platform/posix/property_lists_libplist.h"

namespace morvane {

/// A stored preference value: a whole number, a real number, a truth value or text.
using PreferenceValue = std::variant<std::int64_t, double, bool, std::string>;

/// Preference domains of one user, each an XML property-list file
/// "<configuration folder>/morvane/preferences/<domain>.plist". Characters of the domain that
/// do not belong in a file name are written as %XX, so no domain can name a file outside this
/// folder or the file of another domain.
///
/// Each save replaces the file in one rename, keeping its other values, so a crash leaves
/// either the old file or the new one. Processes that save the same domain at once take turns
/// through a lock file beside the domain's, so no key is lost.
class PlistPreferences {
 public:
  /// `configurationFolder` is the user's configuration folder; when it is empty nothing can be
  /// read or written. Without `followLinks`, a link in the folder or below it on the way to a
  /// domain file makes that file unreadable and unwritable: for root, whose writes would
  /// otherwise land wherever a link points.
  explicit PlistPreferences(std::filesystem::path configurationFolder, bool followLinks = true);

  /// The value of `key` in `domain`. Whole numbers, real numbers, truth values and texts are
  /// values; a file that is not a property-list dictionary, and values of other kinds (data,
  /// dates, arrays, dictionaries), read as absent.
  std::optional<PreferenceValue> value(const std::string& key, const std::string& domain) const;

  /// Stores `value` under `key` in the domain's file, keeping its other values. A missing or
  /// empty file starts empty. False, with the file left as it was, when the file is there but
  /// cannot be read, holds anything but a property-list dictionary within the bounds of
  /// plist_bounds.h, or cannot be written.
  bool save(const std::string& key, const PreferenceValue& value, const std::string& domain);

 private:
  /// The file of `domain`; none for an empty domain or without a folder.
  std::optional<std::filesystem::path> domainFile(const std::string& domain) const;

  /// The dictionary of `file` (empty when it is missing), or none when it cannot be read.
  std::optional<PlistNode> read(const std::filesystem::path& file) const;

  std::filesystem::path folder_;
  bool followLinks_;
};

/// Root's configuration folder, from the password database and never from the environment,
/// which the caller of a program run as root controls; empty when it is not known.
std::filesystem::path rootConfigurationFolder();

/// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
/// $HOME/.config; empty when neither is known.
std::filesystem::path userConfigurationFolder();

}  // namespace morvane
