#include "platform/posix/process_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace morvane {

void resetInheritedProcessState() {
  // With a caller's umask of 000, the copies a tool makes as root of a kext's 0777 files
  // would be writable by anyone.
  ::umask(022);
  // A closed standard stream would be the next descriptor opened, and a tool's error text
  // would land in that file. The lowest free descriptor is the one that is missing, and these
  // three stay open across exec on purpose: they are the tools' standard streams.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
  // An inherited "ignore" makes the kernel reap children by itself, and every wait fails.
  ::signal(SIGCHLD, SIG_DFL);
}

}  // namespace morvane
