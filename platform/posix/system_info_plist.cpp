#include "platform/posix/system_info_plist.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace morvane {

std::optional<std::int32_t> encodeSystemVersion(const std::string& productVersion) {
  std::array<std::int32_t, 3> parts{};
  std::size_t part = 0;
  bool digits = false;
  for (const char c : productVersion) {
    if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
      // Clamped as it grows, so that no text can overflow it.
      parts[part] = std::min(parts[part] * 10 + (c - '0'), 99);
      digits = digits || part == 0;
    } else if (c == '.' && part + 1 < parts.size()) {
      ++part;
    } else {
      break;
    }
  }
  if (!digits) {
    return std::nullopt;
  }
  const std::int32_t major = parts[0];
  const std::int32_t minor = std::min(parts[1], 9);
  const std::int32_t patch = std::min(parts[2], 9);
  return ((major / 10) << 12) | ((major % 10) << 8) | (minor << 4) | patch;
}

std::optional<std::int32_t> PlistSystemInfo::systemVersion() const {
  const std::optional<std::string> text = propertyLists_.textValue(versionFile_, "ProductVersion");
  return text ? encodeSystemVersion(*text) : std::nullopt;
}

}  // namespace morvane
