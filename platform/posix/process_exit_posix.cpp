#include "platform/posix/process_exit_posix.h"

#include <unistd.h>

#include <cstdio>

namespace morvane {

void PosixProcessExit::endProcess(int status) {
  // The usage text may still sit in the buffer when standard output is a pipe or a file.
  std::fflush(stdout);
  std::fflush(stderr);
  ::_exit(status);
}

}  // namespace morvane
