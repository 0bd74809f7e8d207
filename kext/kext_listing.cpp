#include "kext/kext_listing.h"

#include <algorithm>
#include <cstdint>

namespace morvane {
namespace {

bool isSeparator(char32_t c) {
  switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

/// Decodes the character at `text[at]` and says how many bytes it took.
char32_t decode(std::string_view text, std::size_t at, std::size_t* length) {
  const auto lead = static_cast<std::uint8_t>(text[at]);
  std::size_t size = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  size = std::min(size, text.size() - at);
  char32_t c = size == 1 ? lead : lead & (0x3F >> (size - 1));
  for (std::size_t i = 1; i < size; ++i) {
    c = (c << 6) | (static_cast<std::uint8_t>(text[at + i]) & 0x3F);
  }
  *length = size;
  return c;
}

bool isParenthesized(std::string_view token) {
  return token.size() >= 2 && token.front() == '(' && token.back() == ')';
}

}  // namespace

bool listsALoadedKext(std::string_view output) {
  bool found = false;
  std::size_t tokenStart = 0;
  std::size_t at = 0;
  while (at < output.size()) {
    std::size_t length = 1;
    const char32_t c = decode(output, at, &length);
    if (isSeparator(c)) {
      found = found || isParenthesized(output.substr(tokenStart, at - tokenStart));
      tokenStart = at + length;
    }
    at += length;
  }
  return found || isParenthesized(output.substr(tokenStart));
}

}  // namespace morvane
