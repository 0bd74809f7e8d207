// A whole run on the simulated machine for any command line: the arguments are the input's
// pieces between NUL bytes. Whatever they say, the privileged tools unload and remove only an
// extensions entry or an absolute ".kext" path without a "." or ".." piece, and copy only onto
// an extensions entry.
#include <strings.h>

#include <cstdint>

#include "tests/fakes/machine.h"

namespace morvane::testing {

static bool isEntry(const std::string& path) {
  const std::string name = path.substr(path.rfind('/') + 1);
  return path == entry(name) && !name.empty() && name != "." && name != "..";
}

/// Whether the privileged run `run`, "TOOL ARG...", changes only what a pass may change.
static bool allowed(const std::string& run) {
  for (const std::string tool : {"/bin/rm -rf ", "/sbin/kextunload "}) {
    const std::string path = run.substr(std::min(tool.size(), run.size())), pieces = path + "/";
    if (run.starts_with(tool)) {
      return isEntry(path) || (path.starts_with('/') && path.size() > 5 &&
                               strcasecmp(path.c_str() + path.size() - 5, ".kext") == 0 &&
                               pieces.find("/./") == path.npos && pieces.find("/../") == path.npos);
    }
  }
  const std::string destination = entry(run.substr(run.rfind('/') + 1));
  return !run.starts_with("/bin/cp ") || (run.ends_with(" " + destination) && isEntry(destination));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Lines arguments;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (std::size_t end; (end = input.find('\0')) != input.npos; input.remove_prefix(end + 1)) {
    arguments.emplace_back(input.substr(0, end));
  }
  arguments.emplace_back(input);
  Machine machine;
  machine.offer("/k/a.kext", "2.0", "com.q.a");
  machine.offer(entry("a.kext"), "1.0", "com.q.a");
  machine.loaded["com.q.a"] = "1.0";
  machine.launch(arguments, size % 2 == 1 ? Answer::kRestartNow : Answer::kLater);
  for (const std::string& run : machine.tools()) {
    if (!allowed(run)) {
      __builtin_trap();
    }
  }
  return 0;
}

}  // namespace morvane::testing
