#include "platform/posix/authorization_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "platform/posix/deferred_signals.h"
#include "platform/posix/unique_fd.h"

namespace morvane {
namespace {

/// A tool started as administrator, waited for by its own process id. Signals stay deferred
/// from before its start until it is gone.
class SpawnedPrivilegedTool final : public PrivilegedTool {
 public:
  SpawnedPrivilegedTool(ChildProcess child, std::unique_ptr<DeferredSignals> deferred)
      : child_(std::move(child)), deferred_(std::move(deferred)) {}
  /// Never blocks: a tool still running is left to end on its own.
  ~SpawnedPrivilegedTool() override {
    if (!child_.reapIfEnded()) {
      child_.release();
    }
  }
  void waitUntilExit() override { child_.wait(); }

 private:
  ChildProcess child_;
  std::unique_ptr<DeferredSignals> deferred_;
};

}  // namespace

bool runsAsRoot() {
  return ::geteuid() == 0;
}

bool hasControllingTerminal() {
  return UniqueFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)).get() >= 0;
}

bool asksOnlyForAdminRight(const AuthorizationRights& rights) {
  if (rights.count == 0 || rights.items == nullptr) {
    return false;
  }
  for (std::uint32_t i = 0; i < rights.count; ++i) {
    const char* name = rights.items[i].name;
    if (name == nullptr || std::strcmp(name, kAuthorizationRightAdmin) != 0) {
      return false;
    }
  }
  return true;
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
  return child->wait();
}

OSStatus startPrivilegedTool(const char* path, Argv argv,
                             std::unique_ptr<PrivilegedTool>* started) {
  auto deferred = std::make_unique<DeferredSignals>();
  std::optional<ChildProcess> child = spawnChild(path, std::move(argv), kQuietStreams);
  if (!child) {
    return errAuthorizationToolExecuteFailure;
  }
  deferred->forwardTo(child->pid());
  *started = std::make_unique<SpawnedPrivilegedTool>(std::move(*child), std::move(deferred));
  return errAuthorizationSuccess;
}

}  // namespace morvane
