#pragma once

#include "platform/dbus/apple_events_dbus.h"
#include "platform/platform.h"
#include "platform/posix/authorization_choice.h"
#include "platform/posix/authorization_polkit.h"
#include "platform/posix/authorization_sudo.h"
#include "platform/posix/file_manager_posix.h"
#include "platform/posix/localizer_gettext.h"
#include "platform/posix/log_syslog.h"
#include "platform/posix/process_exit_posix.h"
#include "platform/posix/process_launcher_posix.h"
#include "platform/posix/property_lists_libplist.h"
#include "platform/posix/system_info_plist.h"
#include "platform/prompt_application.h"

namespace morvane {

/// Owns the real services of this machine. Each is cheap to make; the costly ones (the locale,
/// a tool) start only when first used.
class LinuxPlatform {
 public:
  /// The services with the command line of this process.
  Platform platform(int argc, char** argv);

 private:
  /// The way to the administrator right for this run, or null when there is none.
  AuthorizationService* chooseAuthorization();

  PosixFileManager files_;
  PosixProcessLauncher processes_{runsAsRoot()};
  SudoAuthorizationService sudo_;
  PolkitAuthorizationService polkit_;
  ChosenAuthorizationService authorization_{[this] { return chooseAuthorization(); }};
  LibplistPropertyLists propertyLists_;
  PlistSystemInfo systemInfo_{propertyLists_, kSystemVersionFile};
  DbusAppleEvents appleEvents_;
  PosixProcessExit process_;
  PromptApplication application_{process_};
  GettextLocalizer localizer_;
  SyslogLog log_;
};

}  // namespace morvane
