#include "platform/posix/executable_folder.h"

namespace morvane {

std::optional<std::filesystem::path> findBesideExecutable(
    std::initializer_list<std::filesystem::path> candidates, std::filesystem::file_type wanted) {
  std::error_code error;
  const std::filesystem::path folder =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
  if (error) {
    return std::nullopt;
  }
  for (const std::filesystem::path& candidate : candidates) {
    if (std::filesystem::status(folder / candidate, error).type() == wanted) {
      return folder / candidate;
    }
  }
  return std::nullopt;
}

}  // namespace morvane
