#include "kext/kext_paths.h"

#include <vector>

#include "app/MorvaneAppDelegate.h"

namespace morvane {
namespace {

bool namesAnEntry(const std::string& piece) {
  return !piece.empty() && piece != "." && piece != "..";
}

}  // namespace

std::string refusedPathMessage(const std::string& path) {
  return "Refused: names no entry of " + std::string(kExtensionsFolder) + ". [" + path + "]";
}

std::optional<std::string> installedCopy(const std::string& sourcePath) {
  const std::size_t last = sourcePath.find_last_not_of('/');
  if (last == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t slash = sourcePath.rfind('/', last);
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string piece = sourcePath.substr(start, last + 1 - start);
  if (!namesAnEntry(piece)) {
    return std::nullopt;
  }
  return std::string(kExtensionsFolder) + "/" + piece;
}

std::optional<std::string> extensionsEntry(const std::string& path) {
  if (path.empty() || path.front() != '/') {
    return std::nullopt;
  }
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string piece = path.substr(start, end - start);
    if (piece == "..") {
      if (!pieces.empty()) {
        pieces.pop_back();
      }
    } else if (namesAnEntry(piece)) {
      pieces.push_back(piece);
    }
    start = end + 1;
  }
  std::string folder;
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    folder += "/" + pieces[i];
  }
  if (pieces.empty() || folder != kExtensionsFolder) {
    return std::nullopt;
  }
  return folder + "/" + pieces.back();
}

}  // namespace morvane
