// PLACEHOLDER until the window module exists: no window can be opened.
#include "platform/prompt_backend.h"

namespace morvane {

std::unique_ptr<PromptBackend> openWindowBackend(std::string* why) {
  *why = "no window module";
  return nullptr;
}

}  // namespace morvane
