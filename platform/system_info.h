#pragma once

#include <cstdint>

namespace morvane {

using OSErr = std::int16_t;
using OSType = std::uint32_t;

inline constexpr OSErr noErr = 0;
inline constexpr OSErr gestaltUndefSelectorErr = -5551;
inline constexpr OSErr fnfErr = -43;

/// The selector of the system version, 'sysv'.
inline constexpr OSType gestaltSystemVersion = 0x73797376;

/// The system-version query.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  /// Answers `selector` into `response`; noErr on success. For gestaltSystemVersion the answer is
  /// the version as binary-coded decimal: 10.6.8 is 0x1068.
  virtual OSErr gestalt(OSType selector, std::int32_t* response) const = 0;
};

}  // namespace morvane
