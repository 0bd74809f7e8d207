#include "platform/posix/plist_bounds.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

namespace morvane {
namespace {

constexpr std::string_view kBinaryMagic = "bplist00";
constexpr auto kNone = std::string_view::npos;

/// Where a tag that starts at `at` ends, just past its '>'. None when a reader that skips
/// quoted text could end it elsewhere: an odd number of quotes before the first '>', or a '<'
/// inside. libplist skips quotes; a text that needs it to is refused rather than modelled.
std::size_t endOfTag(std::string_view text, std::size_t at) {
  const std::size_t close = text.find('>', at);
  if (close == kNone) {
    return kNone;
  }
  const std::string_view inside = text.substr(at + 1, close - at - 1);
  const bool plain = inside.find('<') == kNone && std::ranges::count(inside, '"') % 2 == 0;
  return plain ? close + 1 : kNone;
}

/// Adds the tag `tag` (what stands between '<' and '>') to the nesting `depth`. False for a
/// tag that could hide what follows it from one of the readers, or a nesting out of bounds.
bool countTag(std::string_view tag, std::size_t& depth) {
  if (tag.starts_with('?')) {
    return tag.ends_with('?');
  }
  if (tag.starts_with('!')) {
    // A document type with an inner subset ends at "]>", past the first '>'.
    return tag.starts_with("!DOCTYPE") && tag.find('[') == kNone;
  }
  const bool closing = tag.starts_with('/');
  const std::string_view body = closing ? tag.substr(1) : tag;
  const std::string_view name = body.substr(0, body.find_first_of(" \t\r\n/"));
  if (name != "array" && name != "dict") {
    return true;
  }
  if (closing) {
    return depth-- > 0;
  }
  depth += tag.ends_with('/') ? 0 : 1;
  return depth <= kDeepestPropertyList;
}

/// Scans the tags as libplist reads them: comments and character data are skipped whole (they
/// may hold "</array>"), every other tag counts.
bool xmlWithinBounds(std::string_view text) {
  std::size_t depth = 0;
  for (std::size_t at = text.find('<'); at != kNone; at = text.find('<', at)) {
    const std::string_view rest = text.substr(at);
    std::size_t end = kNone;
    if (rest.starts_with("<!--")) {
      end = text.find("-->", at + 4);
      end = end == kNone ? kNone : end + 3;
    } else if (rest.starts_with("<![CDATA[")) {
      end = text.find("]]>", at + 9);
      end = end == kNone ? kNone : end + 3;
    } else {
      end = endOfTag(text, at);
      if (end != kNone && !countTag(text.substr(at + 1, end - at - 2), depth)) {
        return false;
      }
    }
    if (end == kNone) {
      return false;
    }
    at = end;
  }
  return true;
}

/// The big-endian number of `width` bytes at `at`. None past the end, and for widths libplist
/// may read otherwise than we do (only 1, 2, 4 and 8 bytes are unambiguous).
std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t at,
                                       std::uint64_t width) {
  if (!std::has_single_bit(width) || width > 8 || at > bytes.size() || bytes.size() - at < width) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (std::uint64_t i = 0; i < width; ++i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

/// What the last 32 bytes of a binary list say about its objects.
struct Trailer {
  std::uint64_t offsetWidth;
  std::uint64_t referenceWidth;
  std::uint64_t objects;
  std::uint64_t root;
  std::uint64_t table;
};

std::optional<Trailer> trailerOf(std::string_view bytes) {
  constexpr std::size_t kTrailer = 32;
  if (bytes.size() < kBinaryMagic.size() + kTrailer) {
    return std::nullopt;
  }
  const std::size_t at = bytes.size() - kTrailer;
  const Trailer trailer{*bigEndian(bytes, at + 6, 1), *bigEndian(bytes, at + 7, 1),
                        *bigEndian(bytes, at + 8, 8), *bigEndian(bytes, at + 16, 8),
                        *bigEndian(bytes, at + 24, 8)};
  // Every object takes a byte at least; the bounds keep the arithmetic below from overflowing.
  const bool sane =
      trailer.objects <= bytes.size() && trailer.root < trailer.objects && trailer.table <= at;
  return sane ? std::optional(trailer) : std::nullopt;
}

/// The object references a container holds, in a row: where the first is and how many.
struct References {
  std::uint64_t at = 0;
  std::uint64_t count = 0;
  bool container = false;
};

/// The references of object `object`: none for a leaf, none at all when it cannot be read.
std::optional<References> referencesOf(std::string_view bytes, const Trailer& trailer,
                                       std::uint64_t object) {
  if (object >= trailer.objects) {
    return std::nullopt;
  }
  const auto offset =
      bigEndian(bytes, trailer.table + object * trailer.offsetWidth, trailer.offsetWidth);
  if (!offset || *offset >= bytes.size()) {
    return std::nullopt;
  }
  const auto marker = static_cast<unsigned char>(bytes[*offset]);
  const unsigned kind = marker >> 4;  // 0xA array, 0xC set, 0xD dictionary: keys, then values
  if (kind != 0xA && kind != 0xC && kind != 0xD) {
    return References{};
  }
  References references{*offset + 1, marker & 0xFu, true};
  if (references.count == 0xF) {
    // A larger count follows as an integer object: 0x1N, then 2^N bytes.
    const auto size = bigEndian(bytes, references.at, 1);
    const auto count = size && *size >> 4 == 1
                           ? bigEndian(bytes, references.at + 1, 1u << (*size & 0xF))
                           : std::nullopt;
    if (!count || *count > bytes.size()) {
      return std::nullopt;
    }
    references = {references.at + 1 + (1u << (*size & 0xF)), *count, true};
  }
  references.count *= kind == 0xD ? 2 : 1;
  return references;
}

/// Walks the tree libplist would build, reference by reference, with a path of the containers
/// still open: at most kDeepestPropertyList of them and kMostPropertyListNodes visits.
bool binaryWithinBounds(std::string_view bytes) {
  const std::optional<Trailer> trailer = trailerOf(bytes);
  if (!trailer) {
    return false;
  }
  std::vector<References> path;
  std::size_t nodes = 0;
  std::uint64_t object = trailer->root;
  for (;;) {
    const std::optional<References> children = referencesOf(bytes, *trailer, object);
    if (!children || ++nodes > kMostPropertyListNodes) {
      return false;
    }
    if (children->container) {
      path.push_back(*children);
    }
    if (path.size() > kDeepestPropertyList) {
      return false;
    }
    while (!path.empty() && path.back().count == 0) {
      path.pop_back();
    }
    if (path.empty()) {
      return true;
    }
    const auto next = bigEndian(bytes, path.back().at, trailer->referenceWidth);
    if (!next) {
      return false;
    }
    object = *next;
    path.back().at += trailer->referenceWidth;
    --path.back().count;
  }
}

}  // namespace

bool withinPropertyListBounds(std::string_view bytes) {
  if (bytes.starts_with(kBinaryMagic)) {
    return binaryWithinBounds(bytes);
  }
  // Only XML is left: a list in any other form (a later libplist reads JSON and OpenStep text)
  // is not scanned here, so it is not handed on either.
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  return first != kNone && bytes[first] == '<' && xmlWithinBounds(bytes);
}

}  // namespace morvane
