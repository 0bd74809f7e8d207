#pragma once

#include <cstdint>
#include <optional>

namespace morvane {

/// What the running system says about itself.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  /// The system's version, two decimal digits of the major number, then the minor and the
  /// patch level one digit each (10.6.8 is 0x1068); none when it cannot be read.
  virtual std::optional<std::int32_t> systemVersion() const = 0;
};

}  // namespace morvane
