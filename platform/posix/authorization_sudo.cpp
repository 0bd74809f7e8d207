#include "platform/posix/authorization_sudo.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "platform/posix/process_launcher_posix.h"

namespace morvane {
namespace {

/// The original platform's statuses for a reference it never handed out, and its flag that
/// drops the rights along with the reference.
constexpr OSStatus errAuthorizationInvalidRef = -60002;
constexpr AuthorizationFlags kAuthorizationFlagDestroyRights = 8;

/// A new, fixed environment rather than a cleaned copy of ours: nothing the caller of the
/// program set reaches a tool that runs as root. sudo resets its own environment as well.
constexpr const char* kToolEnvironment[] = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", nullptr};

/// A tool started as administrator, waited for by its own process id.
class SpawnedPrivilegedTool final : public PrivilegedTool {
 public:
  explicit SpawnedPrivilegedTool(ChildProcess child) : child_(std::move(child)) {}
  /// Never blocks: a tool still running is left to end on its own.
  ~SpawnedPrivilegedTool() override {
    if (!child_.reapIfEnded()) {
      child_.release();
    }
  }
  void waitUntilExit() override { child_.wait(); }

 private:
  ChildProcess child_;
};

bool asksOnlyForAdminRight(const AuthorizationRights& rights) {
  for (std::uint32_t i = 0; i < rights.count; ++i) {
    const char* name = rights.items[i].name;
    if (name == nullptr || std::strcmp(name, kAuthorizationRightAdmin) != 0) {
      return false;
    }
  }
  return true;
}

/// The argument vector that starts `tool` with the null-terminated `arguments` (which may be
/// null), through `sudo` unless that is null.
std::vector<const char*> toolArgv(const char* sudo, const char* tool,
                                  const char* const* arguments) {
  std::vector<const char*> argv;
  if (sudo != nullptr) {
    // "--" ends sudo's options, so a tool or argument that starts with "-" stays the tool's.
    argv = {sudo, "-n", "--"};
  }
  argv.push_back(tool);
  for (const char* const* argument = arguments; argument != nullptr && *argument != nullptr;
       ++argument) {
    argv.push_back(*argument);
  }
  return argv;
}

OSStatus statusOfRequest(int waitStatus) {
  if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0) {
    return errAuthorizationSuccess;
  }
  // sudo restores the terminal and re-raises SIGINT when the user presses Ctrl-C at its prompt.
  if (WIFSIGNALED(waitStatus) && WTERMSIG(waitStatus) == SIGINT) {
    return errAuthorizationCanceled;
  }
  return errAuthorizationDenied;
}

}  // namespace

bool runsAsRoot() {
  return ::geteuid() == 0;
}

SudoAuthorizationService::SudoAuthorizationService(std::string sudo,
                                                   std::function<bool()> isAdministrator)
    : sudo_(std::move(sudo)), isAdministrator_(std::move(isAdministrator)) {}

OSStatus SudoAuthorizationService::create(AuthorizationFlags, AuthorizationRef* authorization) {
  if (authorization == nullptr) {
    return errAuthorizationInternal;
  }
  *authorization = nextReference_++;
  credentials_.emplace(*authorization, Credential{});
  return errAuthorizationSuccess;
}

OSStatus SudoAuthorizationService::copyRights(AuthorizationRef authorization,
                                              const AuthorizationRights& rights,
                                              AuthorizationFlags flags) {
  const auto credential = credentials_.find(authorization);
  if (credential == credentials_.end()) {
    return errAuthorizationInvalidRef;
  }
  credential->second.granted = false;
  if (!asksOnlyForAdminRight(rights)) {
    return errAuthorizationDenied;
  }
  OSStatus status = errAuthorizationSuccess;
  if (!isAdministrator_()) {
    const bool mayAsk = (flags & kAuthorizationFlagInteractionAllowed) != 0;
    const std::optional<int> waitStatus = mayAsk ? runSudo({"-v"}) : runSudo({"-n", "-v"});
    status = waitStatus ? statusOfRequest(*waitStatus) : errAuthorizationInternal;
  }
  credential->second.granted = status == errAuthorizationSuccess;
  return status;
}

OSStatus SudoAuthorizationService::executeWithPrivileges(AuthorizationRef authorization,
                                                         const char* tool, AuthorizationFlags,
                                                         const char* const* arguments,
                                                         std::unique_ptr<PrivilegedTool>* started) {
  const auto credential = credentials_.find(authorization);
  if (credential == credentials_.end()) {
    return errAuthorizationInvalidRef;
  }
  if (!credential->second.granted) {
    return errAuthorizationDenied;
  }
  // An absolute path only: sudo, like a shell, would search PATH for a bare name.
  if (tool == nullptr || tool[0] != '/' || started == nullptr) {
    return errAuthorizationToolExecuteFailure;
  }
  // As administrator the tool starts directly.
  const char* const sudo = isAdministrator_() ? nullptr : sudo_.c_str();
  std::optional<ChildProcess> child = spawnChild(
      sudo != nullptr ? sudo : tool, toolArgv(sudo, tool, arguments),
      ChildStreams{.inputFromNull = true, .outputToNull = true, .environment = kToolEnvironment});
  if (!child) {
    return errAuthorizationToolExecuteFailure;
  }
  *started = std::make_unique<SpawnedPrivilegedTool>(std::move(*child));
  return errAuthorizationSuccess;
}

OSStatus SudoAuthorizationService::free(AuthorizationRef authorization, AuthorizationFlags flags) {
  if (credentials_.erase(authorization) == 0) {
    return errAuthorizationInvalidRef;
  }
  if ((flags & kAuthorizationFlagDestroyRights) != 0 && !isAdministrator_()) {
    runSudo({"-k"});
  }
  return errAuthorizationSuccess;
}

std::optional<int> SudoAuthorizationService::runSudo(std::vector<const char*> options) const {
  options.insert(options.begin(), sudo_.c_str());
  // The terminal stays connected: sudo asks for the password there.
  std::optional<ChildProcess> child =
      spawnChild(sudo_.c_str(), std::move(options), ChildStreams{.environment = kToolEnvironment});
  if (!child) {
    return std::nullopt;
  }
  return child->wait();
}

}  // namespace morvane
