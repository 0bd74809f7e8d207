// PLACEHOLDER until the terminal backend exists: the terminal cannot ask.
#include "platform/prompt_backend.h"

namespace morvane {

std::unique_ptr<PromptBackend> openTerminalBackend(std::string* why) {
  *why = "no terminal backend";
  return nullptr;
}

}  // namespace morvane
