#pragma once

#include <memory>
#include <string>

#include "platform/posix/unique_fd.h"

namespace morvane {

/// The signals that concern the prompt on a terminal, handled for as long as this object
/// lives. SIGINT, SIGTERM, SIGHUP and SIGQUIT give the terminal back, then end the process as
/// the signal would have; SIGTSTP gives it back before the process stops. SIGCONT and SIGWINCH
/// ask the loop to draw the prompt anew, through a pipe it polls.
class TerminalSignals {
 public:
  /// Null with the reason in `why` when the pipe cannot be made.
  static std::unique_ptr<TerminalSignals> install(std::string* why);
  /// Installs the handlers; they wake the loop through `writeEnd`, whose reader is `readEnd`.
  TerminalSignals(UniqueFd readEnd, UniqueFd writeEnd);
  /// Puts back the handlers found at install.
  ~TerminalSignals();
  TerminalSignals(const TerminalSignals&) = delete;
  TerminalSignals& operator=(const TerminalSignals&) = delete;

  /// Readable when a signal asked for a redraw.
  int wakeFd() const { return readEnd_.get(); }
  /// Empties the pipe.
  void drain() const;

 private:
  UniqueFd readEnd_;
  UniqueFd writeEnd_;
};

}  // namespace morvane
