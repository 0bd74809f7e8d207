#include "platform/linux_platform.h"

namespace morvane {

Platform LinuxPlatform::platform(int argc, char** argv) {
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

}  // namespace morvane
