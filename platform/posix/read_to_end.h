#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvane {

/// Reads `fd` until end of file, however much arrives, retrying interrupted reads. None when
/// a read fails, or when more than `most` bytes arrive.
std::optional<std::string> readToEnd(int fd, std::size_t most = SIZE_MAX);

}  // namespace morvane
