#include "platform/posix/privileges_sudo.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

#include "platform/posix/deferred_signals.h"
#include "platform/posix/unique_fd.h"

namespace morvane {
namespace {

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

/// What sudo's wait status says: it ran and allowed, refused, or was interrupted. sudo
/// restores the terminal and re-raises SIGINT when the user presses Ctrl-C at its prompt, and so
/// it does for the SIGTERM we pass on. A signal to us alone cancels the request too.
PrivilegeOutcome outcomeOfSudo(const std::optional<int>& waitStatus) {
  if (!waitStatus) {
    return PrivilegeOutcome::kUnavailable;
  }
  if (WIFSIGNALED(*waitStatus) || askedToEnd()) {
    return PrivilegeOutcome::kCanceled;
  }
  return WIFEXITED(*waitStatus) && WEXITSTATUS(*waitStatus) == 0 ? PrivilegeOutcome::kGranted
                                                                 : PrivilegeOutcome::kDenied;
}

}  // namespace

PrivilegeOutcome SudoWay::obtainRight() {
  const SavedTerminal terminal;
  const PrivilegeOutcome outcome = outcomeOfSudo(runSudo({"-v"}));
  if (outcome == PrivilegeOutcome::kCanceled) {
    terminal.restore();
  }
  granted_ = outcome == PrivilegeOutcome::kGranted;
  return outcome;
}

PrivilegedRun SudoWay::runTool(const char* tool, const char* const* arguments) {
  if (const std::optional<PrivilegedRun> refused = refusedStart(granted_, tool)) {
    return *refused;
  }
  // A window remains: a saved login that expires between the two calls still refuses the
  // start, and the tool is then reported as run. Only a rule without a password closes it.
  const char* helper = helper_.c_str();
  const PrivilegeOutcome allowed =
      outcomeOfSudo(runSudo(toolArgv({"-n", "-l", "--", helper}, tool, arguments), true));
  if (allowed != PrivilegeOutcome::kGranted) {
    return {allowed};
  }
  // "--" ends sudo's options, so the helper's words stay its own.
  return runPrivileged(sudo_.c_str(),
                       toolArgv({sudo_.c_str(), "-n", "--", helper}, tool, arguments));
}

std::optional<int> SudoWay::runSudo(Argv options, bool quiet) const {
  options.insert(options.begin(), sudo_.c_str());
  return runAndWait(sudo_.c_str(), std::move(options),
                    quiet ? kQuietStreams : ChildStreams{.environment = kToolEnvironment});
}

}  // namespace morvane
