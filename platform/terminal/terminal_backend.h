#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/loop_timers.h"
#include "platform/prompt_backend.h"
#include "platform/terminal/controlling_terminal.h"
#include "platform/terminal/prompt_screen.h"
#include "platform/terminal/terminal_charset.h"
#include "platform/terminal/terminal_signals.h"

namespace morvane {

/// The prompt on the controlling terminal: the window's title, texts and shown buttons as
/// lines, a digit key per button, Enter for the button the window focuses first and Escape for
/// closing the window. Each change of a control rewrites only the lines it changed. Before an
/// answer runs (its tools may ask for a password on this terminal) the terminal is given back.
/// Every text reaches the terminal with its control characters escaped, in `charset`.
class TerminalBackend final : public PromptBackend {
 public:
  /// `legend` holds the legend's translated items; its `fit` is set to `charset`'s.
  TerminalBackend(std::unique_ptr<ControllingTerminal> terminal,
                  std::unique_ptr<TerminalSignals> signals, TerminalCharset charset,
                  ScreenTexts legend);
  ~TerminalBackend() override;

  void attach(Window& window) override;
  Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) override;
  int run() override;
  void release() override { terminal_->restore(); }
  void controlChanged(const Control&) override { draw(); }
  void windowChanged(const Window&) override { draw(); }

  /// A timer was stopped: an answer is about to run, so the terminal is given back first.
  void timerStopped() { terminal_->restore(); }

 private:
  void bindAll(const std::vector<Control*>& controls);
  /// Rewrites the lines that differ from what the terminal shows.
  void draw();
  /// Clears the terminal and draws every line, as after a resize or a stop.
  void drawAll();
  void readKeys();
  /// Runs `action` with the terminal given back; `chosen` is left on the user's screen.
  void answer(const std::string& chosen, const std::function<void()>& action);
  PromptScreen layout() const;

  std::unique_ptr<ControllingTerminal> terminal_;
  std::unique_ptr<TerminalSignals> signals_;
  TerminalCharset charset_;
  ScreenTexts texts_;
  Window* window_ = nullptr;
  std::vector<std::string> shown_;
  LoopTimers timers_{[this] { timerStopped(); }};
};

}  // namespace morvane
