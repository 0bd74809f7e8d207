#include "platform/posix/privileges_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

#include "platform/posix/deferred_signals.h"
#include "platform/posix/unique_fd.h"

namespace morvane {

bool runsAsRoot() {
  return ::geteuid() == 0;
}

bool hasControllingTerminal() {
  return UniqueFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)).get() >= 0;
}

Argv toolArgv(Argv prefix, const char* tool, const char* const* arguments) {
  prefix.push_back(tool);
  for (const char* const* argument = arguments; argument != nullptr && *argument != nullptr;
       ++argument) {
    prefix.push_back(*argument);
  }
  return prefix;
}

bool isProgram(const char* tool) {
  struct stat facts {};
  return tool != nullptr && tool[0] == '/' && ::stat(tool, &facts) == 0 && S_ISREG(facts.st_mode) &&
         (facts.st_mode & 0111) != 0;
}

std::optional<int> runAndWait(const char* path, Argv argv, const ChildStreams& streams) {
  DeferredSignals deferred;
  std::optional<ChildProcess> child = spawnChild(path, std::move(argv), streams);
  if (!child) {
    return std::nullopt;
  }
  deferred.forwardTo(child->pid());
  const std::optional<int> status = child->wait();
  deferred.childEnded();
  return status;
}

PrivilegedRun runPrivileged(const char* path, Argv argv) {
  const std::optional<int> waitStatus = runAndWait(path, std::move(argv), kQuietStreams);
  if (!waitStatus) {
    return {PrivilegeOutcome::kToolNotStarted};
  }
  const int status =
      WIFEXITED(*waitStatus) ? WEXITSTATUS(*waitStatus) : 128 + WTERMSIG(*waitStatus);
  return {PrivilegeOutcome::kGranted, status};
}

PrivilegedRun RootWay::runTool(const char* tool, const char* const* arguments) {
  if (!isProgram(tool)) {
    return {PrivilegeOutcome::kToolNotStarted};
  }
  return runPrivileged(tool, toolArgv({}, tool, arguments));
}

}  // namespace morvane
