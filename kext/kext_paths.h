#pragma once

#include <optional>
#include <string>

#include "kext/path_shapes.h"

namespace morvane {

// The rules that say what a pass may change. Nothing is ever unloaded, removed or copied over
// unless these functions name it.

/// Where an offered kext is installed: the extensions folder and the last piece of
/// `sourcePath`, trailing slashes left out ("/k/a.kext/" is installed as
/// "/System/Library/Extensions/a.kext"). None unless that piece ends in ".kext" in any letter
/// case, as a removal's does: root copies nothing else into the extensions folder, and an empty
/// piece, "." or ".." would name the folder itself or one above it.
std::optional<std::string> installedCopy(const std::string& sourcePath);

/// The log line of an offered path that installedCopy refuses.
std::string refusedPathMessage(const std::string& path);

/// What the tools of a removal get for the caller's `path`: the path as written, with repeated
/// and trailing slashes dropped, so "rm -rf" removes a linked entry itself and never follows
/// it. None, to guard against an empty variable or a typo in the caller's script, unless the
/// path is absolute, its last piece ends in ".kext" in any letter case, and no piece is "." or
/// "..": those are refused, never resolved, since resolving ".." after a linked entry in the
/// text names another entry than the one the caller meant.
std::optional<std::string> uninstallTarget(const std::string& path);

/// The log line of a path that uninstallTarget refuses.
std::string refusedRemovalMessage(const std::string& path);

/// `path` without its trailing slashes, so that the last piece itself is looked at ("/" stays).
std::string withoutTrailingSlashes(const std::string& path);

}  // namespace morvane
