#include "platform/linux_platform.h"

namespace morvane {

Platform LinuxPlatform::platform(int argc, char** argv) {
  // The program's own ends skip every destructor; the text agent must not outlive the run.
  process_.addBeforeEnd([this] { polkit_.stopAgent(); });
  return Platform{files_,
                  processes_,
                  authorization_,
                  propertyLists_,
                  systemInfo_,
                  appleEvents_,
                  application_,
                  localizer_,
                  log_,
                  process_,
                  std::vector<std::string>(argv, argv + argc)};
}

AuthorizationService* LinuxPlatform::chooseAuthorization() {
  switch (chooseAuthorizationMode(
      runsAsRoot, [this] { return polkit_.usable(); }, hasControllingTerminal)) {
    case AuthorizationMode::kRoot:
    case AuthorizationMode::kSudo:
      return &sudo_;
    case AuthorizationMode::kPolkit:
      return &polkit_;
    case AuthorizationMode::kNone:
      break;
  }
  return nullptr;
}

}  // namespace morvane
