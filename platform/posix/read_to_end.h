#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace morvane {

/// Reads `fd` until end of file, however much arrives, retrying interrupted reads. None when
/// a read fails, when more than `most` bytes arrive, or when the end has not come by `until`.
std::optional<std::string> readToEnd(
    int fd, std::size_t most = SIZE_MAX,
    std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max());

}  // namespace morvane
