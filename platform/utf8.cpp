#include "platform/utf8.h"

#include <cstdint>

namespace morvane {

bool isValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    const std::uint8_t lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    // The allowed range of the second byte narrows for E0, ED, F0 and F4: that is where the
    // overlong forms, the surrogates and the code points above U+10FFFF would begin.
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) < length || p[1] < low || p[1] > high) {
      return false;
    }
    for (std::size_t i = 2; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) {
        return false;
      }
    }
    p += length;
  }
  return true;
}

char32_t decodeUtf8(std::string_view text, std::size_t at, std::size_t* length) {
  const auto lead = static_cast<std::uint8_t>(text[at]);
  const std::size_t declared = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  char32_t c = declared == 1 ? lead : lead & (0x3F >> (declared - 1));
  std::size_t size = 1;
  for (; size < declared && at + size < text.size(); ++size) {
    const auto next = static_cast<std::uint8_t>(text[at + size]);
    if ((next & 0xC0) != 0x80) {
      break;
    }
    c = (c << 6) | (next & 0x3F);
  }
  *length = size;
  return c;
}

std::string escapeControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
    const char32_t c = decodeUtf8(text, at, &length);
    const std::string_view bytes = text.substr(at, length);
    if (!isValidUtf8(bytes)) {
      for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        escaped += {'\\', 'x', kHex[b >> 4], kHex[b & 0xF]};
      }
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      escaped += "\\u{";
      escaped += {kHex[(c >> 4) & 0xF], kHex[c & 0xF], '}'};
    } else {
      escaped += bytes;
    }
  }
  return escaped;
}

}  // namespace morvane
