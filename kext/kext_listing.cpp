#include "kext/kext_listing.h"

#include <cstddef>
#include <string_view>

#include "platform/utf8.h"

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
    const char32_t c = decodeUtf8(output, at, &length);
    if (isSeparator(c)) {
      found = found || isParenthesized(output.substr(tokenStart, at - tokenStart));
      tokenStart = at + length;
    }
    at += length;
  }
  return found || isParenthesized(output.substr(tokenStart));
}

}  // namespace morvane
