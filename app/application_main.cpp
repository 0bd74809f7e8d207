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
  return platform.application.run();
}

}  // namespace morvane
