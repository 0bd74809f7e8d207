#include "platform/posix/authorization_sudo.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "platform/posix/deferred_signals.h"
#include "platform/posix/process_launcher_posix.h"
#include "platform/posix/unique_fd.h"

namespace morvane {
namespace {

/// The original platform's statuses for a reference it never handed out, and its flag that
/// drops the rights along with the reference.
constexpr OSStatus errAuthorizationInvalidRef = -60002;
constexpr AuthorizationFlags kAuthorizationFlagDestroyRights = 8;

/// A tool's standard streams: it reads nothing, and its output is discarded so that it can
/// never stall on a full pipe.
constexpr ChildStreams kQuietStreams{
    .inputFromNull = true, .outputToNull = true, .environment = kToolEnvironment};

using Argv = std::vector<const char*>;

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

/// The controlling terminal's settings as they were before sudo asked for the password on it;
/// sudo turns echo off while the password is typed.
class SavedTerminal {
 public:
  SavedTerminal() : tty_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    saved_ = tty_.get() >= 0 && ::tcgetattr(tty_.get(), &settings_) == 0;
  }
  /// Puts the settings back. Only from the terminal's foreground: a background process that
  /// changes them is stopped.
  void restore() const {
    if (saved_ && ::tcgetpgrp(tty_.get()) == ::getpgrp()) {
      ::tcsetattr(tty_.get(), TCSANOW, &settings_);
    }
  }

 private:
  UniqueFd tty_;
  termios settings_{};
  bool saved_ = false;
};

/// An empty set asks for nothing, so it grants nothing either.
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

/// `prefix`, then `tool` and the null-terminated `arguments` (which may be null).
Argv toolArgv(Argv argv, const char* tool, const char* const* arguments) {
  argv.push_back(tool);
  for (const char* const* argument = arguments; argument != nullptr && *argument != nullptr;
       ++argument) {
    argv.push_back(*argument);
  }
  return argv;
}

OSStatus statusOfRequest(int waitStatus) {
  // sudo restores the terminal and re-raises SIGINT when the user presses Ctrl-C at its prompt,
  // and so it does for the SIGTERM we pass on. A signal to us alone cancels the request too.
  if (WIFSIGNALED(waitStatus) || askedToEnd()) {
    return errAuthorizationCanceled;
  }
  return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0 ? errAuthorizationSuccess
                                                               : errAuthorizationDenied;
}

/// True when `tool` is a file that may be started as a program: asked before either way of
/// starting it, so that a missing tool answers alike as root and through sudo.
bool isProgram(const char* tool) {
  struct stat facts {};
  return tool != nullptr && tool[0] == '/' && ::stat(tool, &facts) == 0 && S_ISREG(facts.st_mode) &&
         (facts.st_mode & 0111) != 0;
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
    const SavedTerminal terminal;
    const std::optional<int> waitStatus = mayAsk ? runSudo({"-v"}) : runSudo({"-n", "-v"});
    status = waitStatus ? statusOfRequest(*waitStatus) : errAuthorizationInternal;
    if (status == errAuthorizationCanceled) {
      terminal.restore();
    }
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
  if (!isProgram(tool) || started == nullptr) {
    return errAuthorizationToolExecuteFailure;
  }
  // As administrator the tool starts directly.
  const bool direct = isAdministrator_();
  const OSStatus allowed = direct ? errAuthorizationSuccess : sudoWouldStart(tool, arguments);
  if (allowed != errAuthorizationSuccess) {
    return allowed;
  }
  auto deferred = std::make_unique<DeferredSignals>();
  // "--" ends sudo's options, so a tool or argument that starts with "-" stays the tool's.
  std::optional<ChildProcess> child = spawnChild(
      direct ? tool : sudo_.c_str(),
      toolArgv(direct ? Argv{} : Argv{sudo_.c_str(), "-n", "--"}, tool, arguments), kQuietStreams);
  if (!child) {
    return errAuthorizationToolExecuteFailure;
  }
  deferred->forwardTo(child->pid());
  *started = std::make_unique<SpawnedPrivilegedTool>(std::move(*child), std::move(deferred));
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

OSStatus SudoAuthorizationService::sudoWouldStart(const char* tool,
                                                  const char* const* arguments) const {
  // A window remains: a saved login that expires between the two calls still refuses the
  // start, and the tool is then reported as run. Only a rule without a password closes it.
  const std::optional<int> listed = runSudo(toolArgv({"-n", "-l", "--"}, tool, arguments), true);
  if (!listed) {
    return errAuthorizationInternal;
  }
  if (askedToEnd()) {
    return errAuthorizationCanceled;
  }
  return WIFEXITED(*listed) && WEXITSTATUS(*listed) == 0 ? errAuthorizationSuccess
                                                         : errAuthorizationDenied;
}

std::optional<int> SudoAuthorizationService::runSudo(std::vector<const char*> options,
                                                     bool quiet) const {
  options.insert(options.begin(), sudo_.c_str());
  DeferredSignals deferred;
  std::optional<ChildProcess> child =
      spawnChild(sudo_.c_str(), std::move(options),
                 quiet ? kQuietStreams : ChildStreams{.environment = kToolEnvironment});
  if (!child) {
    return std::nullopt;
  }
  deferred.forwardTo(child->pid());
  return child->wait();
}

}  // namespace morvane
