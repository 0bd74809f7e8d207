#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>

namespace morvane {

/// The first of `candidates`, each relative to the folder of the running executable (found
/// through /proc/self/exe, never through a search path), that is of the type `wanted`
/// (following links); nullopt when none is or the executable cannot be found. The program's own
/// files are looked for this way, so a build folder, an installation under any prefix and an
/// unpacked package all run as they are.
std::optional<std::filesystem::path> findBesideExecutable(
    std::initializer_list<std::filesystem::path> candidates, std::filesystem::file_type wanted);

}  // namespace morvane
