#include "platform/posix/privileges_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>
#include <utility>

#include "exec/tool_paths.h"
#include "exec/tool_vectors.h"
#include "platform/posix/deferred_signals.h"
#include "platform/posix/unique_fd.h"

namespace morvane {

const char kExecHelper[] = MORVANE_EXEC_HELPER;

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

std::optional<PrivilegedRun> refusedStart(bool granted, const char* tool) {
  if (!granted) {
    return PrivilegedRun{PrivilegeOutcome::kDenied};
  }
  if ((tool == nullptr || std::string_view(tool) != kMarkerOperation) && !isProgram(tool)) {
    return PrivilegedRun{PrivilegeOutcome::kToolNotStarted};
  }
  return std::nullopt;
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
  if (status >= kFirstHelperStatus && status <= kLastHelperStatus) {
    return {PrivilegeOutcome::kToolNotStarted};
  }
  return {PrivilegeOutcome::kGranted, status};
}

PrivilegedRun RootWay::runTool(const char* tool, const char* const* arguments) {
  if (const std::optional<PrivilegedRun> refused = refusedStart(true, tool)) {
    return *refused;
  }
  return runPrivileged(helper_.c_str(), toolArgv({helper_.c_str()}, tool, arguments));
}

}  // namespace morvane
