#include "kext/kext_paths.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace morvane {
namespace {

bool namesAnEntry(std::string_view piece) {
  return !piece.empty() && piece != "." && piece != "..";
}

bool endsInKext(std::string_view piece) {
  constexpr std::string_view kSuffix = ".kext";
  return piece.size() >= kSuffix.size() &&
         std::equal(kSuffix.begin(), kSuffix.end(), piece.end() - kSuffix.size(),
                    [](char wanted, char given) {
                      return wanted == std::tolower(static_cast<unsigned char>(given));
                    });
}

}  // namespace

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
  const std::string path = withoutTrailingSlashes(sourcePath);
  const std::string piece = path.substr(path.rfind('/') + 1);
  if (!namesAnEntry(piece) || !endsInKext(piece)) {
    return std::nullopt;
  }
  return std::string(kExtensionsFolder) + "/" + piece;
}

bool isExtensionsEntry(const std::string& path) {
  return installedCopy(path) == path;
}

std::optional<std::string> uninstallTarget(const std::string& path) {
  if (path.empty() || path.front() != '/') {
    return std::nullopt;
  }
  std::string target;
  std::string_view last;
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
    last = piece;
  }
  if (!endsInKext(last)) {
    return std::nullopt;
  }
  return target;
}

}  // namespace morvane
