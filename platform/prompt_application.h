#pragma once

#include <memory>

#include "platform/application.h"
#include "platform/process_exit.h"
#include "platform/prompt_backend.h"

namespace morvane {

/// The event loop of the program: the prompt's backend, chosen when the prompt is first shown
/// (the window where a display can be opened, else the terminal). Before that no loop exists
/// and nothing is loaded.
class PromptApplication final : public Application {
 public:
  /// `process` and `localizer` are not owned; every end of the run through `process` first
  /// gives the screen back.
  PromptApplication(ProcessExit& process, const Localizer& localizer)
      : process_(process), localizer_(localizer) {}
  Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) override;
  bool bindWindow(Window& window, std::string* why) override;
  int run() override;

 private:
  ProcessExit& process_;
  const Localizer& localizer_;
  std::unique_ptr<PromptBackend> backend_;
};

}  // namespace morvane
