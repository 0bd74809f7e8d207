#pragma once

#include <cstddef>
#include <string_view>

namespace morvane {

/// The largest property-list file we read. Every list of ours (a bundle's Info.plist, the
/// system version, the preferences) is a few KiB; a larger file is refused before it is read,
/// so a hostile one cannot make the program take its size in memory.
inline constexpr std::size_t kLargestPropertyList = 4 << 20;

/// The deepest nesting of arrays and dictionaries we let libplist see. libplist parses binary
/// lists and frees every tree by recursion, one stack frame per level: a few hundred thousand
/// nested arrays end the process.
inline constexpr std::size_t kDeepestPropertyList = 256;

/// The most nodes a binary list may expand to. An object may be referenced many times, and
/// libplist builds a copy for each reference: a chain of shared arrays is a tree of 2^n nodes.
inline constexpr std::size_t kMostPropertyListNodes = 1 << 20;

/// True when `bytes` is an XML property list, or a binary one ("bplist00"), that libplist can
/// parse and free within the bounds above. Checked before parsing, without building anything.
/// A text it cannot tell apart safely (an XML construct that would hide tags from one reader
/// but not the other, a reference out of range) is refused as well: it is no list of ours.
bool withinPropertyListBounds(std::string_view bytes);

}  // namespace morvane
