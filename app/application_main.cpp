#include "app/application_main.h"

#include "app/MorvaneAppDelegate.h"
#include "platform/linux_platform.h"
#include "ui/interface_resource.h"

namespace morvane {

int applicationMain(int argc, char** argv) {
  LinuxPlatform services;
  Platform platform = services.platform(argc, argv);
  InterfaceResource resource;
  MorvaneAppDelegate delegate(platform);
  resource.connect(delegate);
  delegate.applicationWillFinishLaunching();
  delegate.applicationDidFinishLaunching();
  platform.application.run();
  // The loop ended without an answer, as when the display went away: the prompt was closed.
  delegate.rebootRejected(nullptr);
  return kExitFailure;  // not reached: the close ends the run
}

}  // namespace morvane
