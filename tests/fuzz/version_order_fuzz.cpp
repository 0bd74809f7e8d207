// Three versions, the input's pieces between NUL bytes: the numeric ordering is a total
// preorder, so sorting by it is well defined: reflexive, antisymmetric and transitive.
#include <cstdint>
#include <string_view>

#include "kext/version_order.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto order = [](std::string_view a, std::string_view b) {
    const int order = morvane::compareNumerically(a, b);
    return (order > 0) - (order < 0);
  };
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view v[3];
  for (std::string_view& version : v) {
    version = input.substr(0, input.find('\0'));
    input.remove_prefix(std::min(input.size(), version.size() + 1));
  }
  const int ab = order(v[0], v[1]), bc = order(v[1], v[2]), ac = order(v[0], v[2]);
  if (order(v[0], v[0]) != 0 || ab != -order(v[1], v[0]) || (ab <= 0 && bc <= 0 && ac > 0) ||
      (ab >= 0 && bc >= 0 && ac < 0)) {
    __builtin_trap();
  }
  return 0;
}
