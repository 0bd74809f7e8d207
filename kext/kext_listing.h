#pragma once

#include <string_view>

namespace morvane {

/// True when the kext listing tool's output holds a token that begins with "(" and ends with
/// ")", tokens being what stands between white space and line breaks: the Unicode space
/// separators, U+2028, U+2029, U+0009 to U+000D and U+0085. `output` is valid UTF-8.
bool listsALoadedKext(std::string_view output);

}  // namespace morvane
