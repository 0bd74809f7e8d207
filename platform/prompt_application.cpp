#include "platform/prompt_application.h"

#include <cstdio>
#include <string>

namespace morvane {

Timer* PromptApplication::scheduledTimer(double interval, std::function<void(Timer*)> tick) {
  return backend_ ? backend_->scheduledTimer(interval, std::move(tick)) : nullptr;
}

bool PromptApplication::bindWindow(Window& window, std::string* why) {
  std::string windowWhy;
  backend_ = openWindowBackend(&windowWhy);
  if (!backend_) {
    std::string terminalWhy;
    backend_ = openTerminalBackend(localizer_, &terminalWhy);
    if (!backend_) {
      *why = windowWhy + "; " + terminalWhy;
      return false;
    }
    std::fprintf(stderr, "Morvane: no window (%s): asking on the terminal\n", windowWhy.c_str());
  }
  process_.addBeforeEnd([this] { backend_->release(); });
  backend_->attach(window);
  return true;
}

int PromptApplication::run() {
  // Every run that reaches the loop has a backend: without one the prompt ended the run.
  return backend_ ? backend_->run() : -1;
}

}  // namespace morvane
