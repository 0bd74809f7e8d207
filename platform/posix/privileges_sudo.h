#pragma once

#include <optional>
#include <string>

#include "platform/posix/privileges_posix.h"

namespace morvane {

/// The sudo tool; run by this absolute path only.
inline constexpr char kSudoTool[] = "/usr/bin/sudo";

/// The administrator right through sudo, for a program with a terminal to ask on. The right is
/// requested with `sudo -v`, which may ask for the password on the terminal, and each tool
/// starts through the root helper as `sudo -n -- HELPER TOOL ARGS...`, which never asks, once
/// `sudo -n -l -- HELPER TOOL ARGS...` said that it will: sudo's refusal would look like a tool
/// that ran and failed. An administrator may allow the helper alone in sudoers. sudo and the
/// tools get the fixed environment of the tools run as root; SIGINT, SIGTERM and SIGHUP are
/// deferred while either runs.
///
/// Outcomes: kDenied when sudo refuses (a wrong password, a rule that does not allow this tool
/// with these arguments, a saved login that has expired since); kCanceled when sudo ends by a
/// signal (Ctrl-C at the password prompt) or the program was asked to end meanwhile;
/// kUnavailable when sudo cannot be started; kToolNotStarted when the tool is no program.
class SudoWay final : public PrivilegedWay {
 public:
  /// `sudo` is the absolute path of the sudo tool, `helper` the root helper's.
  explicit SudoWay(std::string sudo = kSudoTool, std::string helper = kExecHelper)
      : sudo_(std::move(sudo)), helper_(std::move(helper)) {}

  PrivilegeOutcome obtainRight() override;
  PrivilegedRun runTool(const char* tool, const char* const* arguments) override;

 private:
  /// Runs sudo with `options` and waits for it; its wait status, or none when it cannot start.
  /// The terminal stays connected (sudo asks for the password there) unless `quiet`.
  std::optional<int> runSudo(Argv options, bool quiet = false) const;

  std::string sudo_;
  std::string helper_;
  bool granted_ = false;
};

}  // namespace morvane
