#pragma once

#include <string_view>

namespace morvane {

/// Writes all of `bytes` to `fd`, retrying interrupted and partial writes. False when a write
/// fails. Only calls write(2), so a signal handler may use it.
bool writeAll(int fd, std::string_view bytes);

}  // namespace morvane
