#pragma once

#include "platform/dbus/login_manager.h"
#include "platform/platform.h"
#include "platform/posix/file_manager_posix.h"
#include "platform/posix/localizer_gettext.h"
#include "platform/posix/log_syslog.h"
#include "platform/posix/privileges_choice.h"
#include "platform/posix/process_exit_posix.h"
#include "platform/posix/process_launcher_posix.h"
#include "platform/posix/property_lists_libplist.h"
#include "platform/posix/system_info_plist.h"
#include "platform/prompt_application.h"

namespace morvane {

/// Owns the real services of this machine. Each is cheap to make; the costly ones (the locale,
/// a tool, the system bus) start only when first used.
class LinuxPlatform {
 public:
  /// The services with the command line of this process.
  Platform platform(int argc, char** argv);

 private:
  PosixFileManager files_;
  PosixProcessLauncher processes_{runsAsRoot()};
  LinuxPrivileges privileges_;
  LibplistPropertyLists propertyLists_;
  PlistSystemInfo systemInfo_{propertyLists_, kSystemVersionFile};
  LoginManagerRestarter restarter_;
  PosixProcessExit process_;
  GettextLocalizer localizer_;
  PromptApplication application_{process_, localizer_};
  SyslogLog log_;
};

}  // namespace morvane
