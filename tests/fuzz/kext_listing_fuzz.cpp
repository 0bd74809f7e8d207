// The listing tool's output, as any bytes. Output that is valid UTF-8 (the only kind the
// runner hands on) keeps its answer when a plain token is added, and always lists a kext once
// a "(...)" token is added.
#include <cstdint>
#include <string>

#include "kext/kext_listing.h"
#include "platform/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);
  const bool listed = morvane::listsALoadedKext(output);
  if (morvane::isValidUtf8(output) &&
      (listed != morvane::listsALoadedKext(output + "\u2028x") ||
       !morvane::listsALoadedKext(output + "\t(1.0)") ||
       (listed && (output.find('(') == output.npos || output.find(')') == output.npos)))) {
    __builtin_trap();
  }
  return 0;
}
