#pragma once

#include <optional>
#include <string>

namespace morvane {

// The one rule that keeps every pass inside the extensions folder. Nothing is ever unloaded,
// removed or copied over unless these functions name it.

/// Where an offered kext is installed: the extensions folder and the last piece of
/// `sourcePath`, trailing slashes left out ("/k/a.kext/" is installed as
/// "/System/Library/Extensions/a.kext"). None when that piece is empty, "." or "..", since it
/// would name the extensions folder itself or a folder above it.
std::optional<std::string> installedCopy(const std::string& sourcePath);

/// The log line of a path that these rules refuse.
std::string refusedPathMessage(const std::string& path);

/// `path` with "." and ".." resolved in the text and repeated and trailing slashes dropped,
/// when the result is an entry directly inside the extensions folder. None otherwise, also
/// for a path that is not absolute. The tools get this form, not the caller's: with a
/// trailing slash, "rm -rf" would remove what a linked entry points to instead of the link.
std::optional<std::string> extensionsEntry(const std::string& path);

}  // namespace morvane
