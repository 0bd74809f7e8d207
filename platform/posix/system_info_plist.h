#pragma once

#include <optional>
#include <string>

#include "platform/property_lists.h"
#include "platform/system_info.h"

namespace morvane {

/// The system's version from "ProductVersion" of the system's version file.
class PlistSystemInfo final : public SystemInfo {
 public:
  /// `propertyLists` is not owned.
  PlistSystemInfo(const PropertyLists& propertyLists, std::string versionFile)
      : propertyLists_(propertyLists), versionFile_(std::move(versionFile)) {}

  std::optional<std::int32_t> systemVersion() const override;

 private:
  const PropertyLists& propertyLists_;
  std::string versionFile_;
};

inline constexpr char kSystemVersionFile[] = "/System/Library/CoreServices/SystemVersion.plist";

/// "10.6.8" encoded as systemVersion() answers it, 0x1068: the major number in two decimal digits,
/// then the minor and the patch level one digit each, a part above 9 read as 9. None when the text
/// does not start with a number.
std::optional<std::int32_t> encodeSystemVersion(const std::string& productVersion);

}  // namespace morvane
