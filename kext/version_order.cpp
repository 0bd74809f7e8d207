#include "kext/version_order.h"

#include <string_view>

namespace morvane {
namespace {

/// ASCII digits only, whatever locale the program runs in.
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

/// The run of digits at the start of `text`, and `text` moved past it.
std::string_view takeDigits(std::string_view& text) {
  std::size_t length = 0;
  while (length < text.size() && isDigit(text[length])) {
    ++length;
  }
  const std::string_view run = text.substr(0, length);
  text.remove_prefix(length);
  return run;
}

/// Compares two digit runs by value, whatever their length: no run can overflow.
int compareValues(std::string_view left, std::string_view right) {
  while (left.size() > 1 && left.front() == '0') {
    left.remove_prefix(1);
  }
  while (right.size() > 1 && right.front() == '0') {
    right.remove_prefix(1);
  }
  if (left.size() != right.size()) {
    return left.size() < right.size() ? -1 : 1;
  }
  const int order = left.compare(right);
  return (order > 0) - (order < 0);
}

}  // namespace

int compareNumerically(std::string_view left, std::string_view right) {
  while (!left.empty() && !right.empty()) {
    if (isDigit(left.front()) && isDigit(right.front())) {
      const int order = compareValues(takeDigits(left), takeDigits(right));
      if (order != 0) {
        return order;
      }
      continue;
    }
    const auto l = static_cast<unsigned char>(left.front());
    const auto r = static_cast<unsigned char>(right.front());
    if (l != r) {
      return l < r ? -1 : 1;
    }
    left.remove_prefix(1);
    right.remove_prefix(1);
  }
  return static_cast<int>(!left.empty()) - static_cast<int>(!right.empty());
}

}  // namespace morvane
