#pragma once

#include <string_view>

namespace morvane {

/// The system's numeric ordering of texts: runs of decimal digits that stand at the same place
/// in both texts compare by value (1.10 above 1.9, 007 equal to 7), every other character by
/// its code; a text that is the beginning of the other is the lower. Negative, zero or positive
/// as `left` is lower than, equal to or higher than `right`.
int compareNumerically(std::string_view left, std::string_view right);

}  // namespace morvane
