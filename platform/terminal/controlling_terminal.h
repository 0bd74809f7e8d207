#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/posix/unique_fd.h"

namespace morvane {

/// The process's controlling terminal, opened as /dev/tty rather than through standard input
/// and output, which an installer may have sent to a log. While the prompt is up it is in raw
/// mode: keys arrive one by one without echo, on a screen of the prompt's own with the cursor
/// hidden. Signals still work: Ctrl-C and Ctrl-Z stay what they are for the user.
class ControllingTerminal {
 public:
  /// The terminal when this process has one and stands in its foreground process group; null
  /// with the reason in `why` otherwise.
  static std::unique_ptr<ControllingTerminal> open(std::string* why);
  /// Takes `fd`, open on the controlling terminal.
  explicit ControllingTerminal(UniqueFd fd);
  /// Gives the terminal back.
  ~ControllingTerminal();
  ControllingTerminal(const ControllingTerminal&) = delete;
  ControllingTerminal& operator=(const ControllingTerminal&) = delete;

  int fd() const { return fd_.get(); }
  /// True when this process stands in the terminal's foreground process group.
  bool inForeground() const;
  /// Enters raw mode and the prompt's screen. The settings found the first time are the ones
  /// every restore gives back. False when the terminal refused the settings.
  bool enterRaw();
  bool isRaw() const;
  /// Gives the terminal back as it was: its settings, its own screen and the cursor. Does
  /// nothing when not in raw mode.
  void restore();
  /// Writes all of `bytes`; false when the terminal is gone.
  bool write(std::string_view bytes);
  /// Columns and rows; 80 by 24 when the terminal does not tell.
  std::size_t columns() const;
  std::size_t rows() const;

 private:
  UniqueFd fd_;
};

/// Gives the terminal back from a signal handler: only calls that are safe there.
void restoreTerminalFromSignal();

}  // namespace morvane
