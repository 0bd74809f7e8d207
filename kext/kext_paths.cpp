#include "kext/kext_paths.h"

#include <algorithm>
#include <string_view>

namespace morvane {

std::string refusedPathMessage(const std::string& path) {
  return "Refused: a kext to install is a path whose last piece ends in .kext. [" + path + "]";
}

std::string refusedRemovalMessage(const std::string& path) {
  return "Refused: a kext to remove is an absolute path ending in .kext, without . or .. "
         "pieces. [" +
         path + "]";
}

std::string withoutTrailingSlashes(const std::string& path) {
  const std::size_t last = path.find_last_not_of('/');
  return last == std::string::npos ? path.substr(0, 1) : path.substr(0, last + 1);
}

std::optional<std::string> installedCopy(const std::string& sourcePath) {
  const PathPiece piece = lastPiece(sourcePath.c_str(), sourcePath.size());
  if (!namesAKext(piece)) {
    return std::nullopt;
  }
  return std::string(kExtensionsFolder) + "/" + std::string(piece.start, piece.length);
}

std::optional<std::string> uninstallTarget(const std::string& path) {
  if (path.empty() || path.front() != '/') {
    return std::nullopt;
  }
  std::string target;
  for (std::size_t start = 0; start < path.size();) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view piece = std::string_view(path).substr(start, end - start);
    start = end + 1;
    if (piece.empty()) {
      continue;
    }
    if (piece == "." || piece == "..") {
      return std::nullopt;
    }
    target += "/";
    target += piece;
  }
  // The one rule that the root helper checks again, on what the tools are given.
  if (!isRemovalTarget(target.c_str())) {
    return std::nullopt;
  }
  return target;
}

}  // namespace morvane
