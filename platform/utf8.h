#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvane {

/// True when `bytes` is well-formed UTF-8: no overlong forms, no surrogates, nothing above
/// U+10FFFF, no truncated sequence.
bool isValidUtf8(std::string_view bytes);

/// The code point that starts at `text[at]` (`at` before the end), and in `length` the bytes
/// it takes, at least one. Text that is not well-formed still moves on byte by byte: a lead
/// byte takes only the continuation bytes that follow it, and a stray continuation byte
/// counts as a character of its own.
char32_t decodeUtf8(std::string_view text, std::size_t at, std::size_t* length);

/// `text` with every control character (C0, DEL, C1) written as its code point, "\u{1B}", and
/// every byte that is not part of well-formed UTF-8 as "\xFF": a caller's path cannot start a
/// new log line or send the terminal a sequence, and the rest of the text stays as it was.
std::string escapeControls(std::string_view text);

}  // namespace morvane
