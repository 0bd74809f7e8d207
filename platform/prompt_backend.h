#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/localizer.h"

namespace morvane {

/// One way of asking the prompt's question: it renders a window and its controls, delivers
/// their actions and runs the loop with its timers.
class PromptBackend : public ControlBackend {
 public:
  /// Renders `window` and every control in it as they stand now and binds them to this
  /// backend, so that each later change reaches the screen.
  virtual void attach(Window& window) = 0;
  virtual Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) = 0;
  /// Runs the loop; returns only when the framework ends it.
  virtual int run() = 0;
  /// Gives the screen back as it was before `attach` (the terminal's own settings). Called
  /// right before the process ends; safe to call more than once.
  virtual void release() {}
};

/// The window, from the window module, when a display is named and can be opened. Null with
/// the reason in `why` otherwise.
std::unique_ptr<PromptBackend> openWindowBackend(std::string* why);

/// The controlling terminal, when this process is in its foreground, saying its own texts (the
/// keys' legend) as `localizer` translates them. Null with the reason in `why` otherwise.
std::unique_ptr<PromptBackend> openTerminalBackend(const Localizer& localizer, std::string* why);

}  // namespace morvane
