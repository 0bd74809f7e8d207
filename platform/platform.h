#pragma once

#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/file_manager.h"
#include "platform/localizer.h"
#include "platform/log.h"
#include "platform/privileges.h"
#include "platform/process_exit.h"
#include "platform/process_launcher.h"
#include "platform/property_lists.h"
#include "platform/restarter.h"
#include "platform/system_info.h"

namespace morvane {

/// Every platform service the operations use. The product wires the real ones, tests wire
/// fakes; the delegate owns none of them.
struct Platform {
  FileManager& files;
  ProcessLauncher& processes;
  Privileges& privileges;
  PropertyLists& propertyLists;
  SystemInfo& systemInfo;
  Restarter& restarter;
  Application& application;
  Localizer& localizer;
  Log& log;
  ProcessExit& process;
  /// The process's argument list; element 0 is the program's own path.
  std::vector<std::string> arguments;
};

}  // namespace morvane
