#pragma once

#include <memory>

#include "platform/application.h"
#include "platform/prompt_backend.h"

namespace morvane {

/// The event loop of the program: the prompt's backend, chosen when the prompt is first shown
/// (the window where a display can be opened, else the terminal). Before that no loop exists
/// and nothing is loaded.
class PromptApplication final : public Application {
 public:
  Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) override;
  bool bindWindow(Window& window) override;
  int run() override;

 private:
  std::unique_ptr<PromptBackend> backend_;
};

}  // namespace morvane
