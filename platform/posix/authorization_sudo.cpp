#include "platform/posix/authorization_sudo.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

#include "platform/posix/deferred_signals.h"
#include "platform/posix/unique_fd.h"

namespace morvane {
namespace {

/// The original platform's flag that drops the rights along with the reference.
constexpr AuthorizationFlags kAuthorizationFlagDestroyRights = 8;

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

OSStatus statusOfRequest(int waitStatus) {
  // sudo restores the terminal and re-raises SIGINT when the user presses Ctrl-C at its prompt,
  // and so it does for the SIGTERM we pass on. A signal to us alone cancels the request too.
  if (WIFSIGNALED(waitStatus) || askedToEnd()) {
    return errAuthorizationCanceled;
  }
  return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0 ? errAuthorizationSuccess
                                                               : errAuthorizationDenied;
}

}  // namespace

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
  // "--" ends sudo's options, so a tool or argument that starts with "-" stays the tool's.
  return startPrivilegedTool(
      direct ? tool : sudo_.c_str(),
      toolArgv(direct ? Argv{} : Argv{sudo_.c_str(), "-n", "--"}, tool, arguments), started);
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
  return runAndWait(sudo_.c_str(), std::move(options),
                    quiet ? kQuietStreams : ChildStreams{.environment = kToolEnvironment});
}

}  // namespace morvane
