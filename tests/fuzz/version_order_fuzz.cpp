// Three versions, the input's pieces between NUL bytes: the numeric ordering is a total
// preorder, so sorting by it is well defined: reflexive, antisymmetric and transitive.
#include <cstdint>
#include <string_view>

#include "kext/version_order.h"

namespace {

int sign(int order) {
  return (order > 0) - (order < 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using morvane::compareNumerically;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view v[3];
  for (std::string_view& version : v) {
    version = input.substr(0, input.find('\0'));
    input.remove_prefix(std::min(input.size(), version.size() + 1));
  }
  const int ab = sign(compareNumerically(v[0], v[1]));
  const int bc = sign(compareNumerically(v[1], v[2]));
  const int ac = sign(compareNumerically(v[0], v[2]));
  if (compareNumerically(v[0], v[0]) != 0 || ab != -sign(compareNumerically(v[1], v[0])) ||
      (ab <= 0 && bc <= 0 && ac > 0) || (ab >= 0 && bc >= 0 && ac < 0)) {
    __builtin_trap();
  }
  return 0;
}
