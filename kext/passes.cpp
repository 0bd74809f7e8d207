// The installation and uninstall passes and the launch filter.
#include "app/MorvaneAppDelegate.h"

namespace morvane {

// PLACEHOLDER until the passes exist: ends the run with 255 and touches nothing, so no run
// ever reports a success it did not have.
bool MorvaneAppDelegate::processKextInstall(bool /*uninstall*/) {
  platform_.process.exit(kExitFailure);
}

// PLACEHOLDER until the filter exists: ends the run with 255 and touches nothing.
bool MorvaneAppDelegate::filterNotInstallKext() {
  platform_.process.exit(kExitFailure);
}

}  // namespace morvane
