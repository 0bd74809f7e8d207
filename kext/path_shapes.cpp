#include "kext/path_shapes.h"

#include <cstring>

namespace morvane {
namespace {

constexpr char kSuffix[] = ".kext";
constexpr std::size_t kSuffixLength = sizeof kSuffix - 1;
constexpr std::size_t kFolderLength = sizeof kExtensionsFolder - 1;

bool isPiece(const char* start, std::size_t length, const char* text) {
  return length == std::strlen(text) && std::memcmp(start, text, length) == 0;
}

}  // namespace

PathPiece lastPiece(const char* path, std::size_t length) {
  while (length > 0 && path[length - 1] == '/') {
    --length;
  }
  std::size_t start = length;
  while (start > 0 && path[start - 1] != '/') {
    --start;
  }
  return {path + start, length - start};
}

bool namesAKext(PathPiece piece) {
  if (piece.length < kSuffixLength) {
    return false;
  }
  const char* tail = piece.start + piece.length - kSuffixLength;
  for (std::size_t i = 0; i < kSuffixLength; ++i) {
    const char c = tail[i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != kSuffix[i]) {
      return false;
    }
  }
  return true;
}

bool isRemovalTarget(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length < 2 || path[0] != '/' || path[length - 1] == '/') {
    return false;
  }
  for (const char* start = path + 1;;) {
    const char* end = std::strchr(start, '/');
    const std::size_t size = end ? static_cast<std::size_t>(end - start) : std::strlen(start);
    if (size == 0 || isPiece(start, size, ".") || isPiece(start, size, "..")) {
      return false;
    }
    if (!end) {
      return namesAKext({start, size});
    }
    start = end + 1;
  }
}

bool isExtensionsEntry(const char* path) {
  if (std::strncmp(path, kExtensionsFolder, kFolderLength) != 0 || path[kFolderLength] != '/') {
    return false;
  }
  const char* name = path + kFolderLength + 1;
  return std::strchr(name, '/') == nullptr && namesAKext({name, std::strlen(name)});
}

bool isInstalledCopy(const char* source, const char* dest) {
  const PathPiece piece = lastPiece(source, std::strlen(source));
  return source[0] == '/' && isExtensionsEntry(dest) &&
         isPiece(piece.start, piece.length, dest + kFolderLength + 1);
}

}  // namespace morvane
