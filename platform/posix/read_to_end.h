#pragma once

#include <optional>
#include <string>

namespace morvane {

/// Reads `fd` until end of file, however much arrives, retrying interrupted reads. None when
/// a read fails.
std::optional<std::string> readToEnd(int fd);

}  // namespace morvane
