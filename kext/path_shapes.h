// The shapes of the paths that root's tools are given, checked alike by the program, before it
// sends a tool, and by the root helper, before it starts one. Plain C library only: the helper
// is built without exceptions and takes no allocation it does not need.
#pragma once

#include <cstddef>

namespace morvane {

/// The extensions folder, the only folder whose entries a pass changes.
inline constexpr char kExtensionsFolder[] = "/System/Library/Extensions";

/// The last piece of a path, trailing slashes left out: `length` bytes from `start`.
struct PathPiece {
  const char* start;
  std::size_t length;
};

/// The last piece of the `length` bytes of `path`, without its trailing slashes ("/" has an
/// empty one).
PathPiece lastPiece(const char* path, std::size_t length);

/// True when `piece` can name a kext: it ends in ".kext" in any letter case, and so is not empty,
/// "." or "..", which would name a folder itself or one above it.
bool namesAKext(PathPiece piece);

/// True when `path` is what a removal's tools are given: absolute, without repeated or trailing
/// slashes and without "." or ".." pieces, its last piece naming a kext.
bool isRemovalTarget(const char* path);

/// True when `path` is exactly an entry directly inside the extensions folder that names a kext.
bool isExtensionsEntry(const char* path);

/// True when `dest` is where the kext at `source`, an absolute path, is installed: the
/// extensions folder and the last piece of `source`.
bool isInstalledCopy(const char* source, const char* dest);

}  // namespace morvane
