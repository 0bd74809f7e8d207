#include "platform/linux_platform.h"

namespace morvane {

Platform LinuxPlatform::platform(int argc, char** argv) {
  // The program's own ends skip every destructor; the text agent must not outlive the run.
  process_.addBeforeEnd([this] { privileges_.stopHelpers(); });
  return Platform{files_,
                  processes_,
                  privileges_,
                  propertyLists_,
                  systemInfo_,
                  restarter_,
                  application_,
                  localizer_,
                  log_,
                  process_,
                  std::vector<std::string>(argv, argv + argc)};
}

}  // namespace morvane
