// The restart prompt.
#include "app/MorvaneAppDelegate.h"

namespace morvane {

// PLACEHOLDER until the restart prompt exists: the run ends with 255 before anything is shown
// or installed, so an installer never takes a run that showed no prompt for a success.
void MorvaneAppDelegate::showNotificationWithCountdown(bool /*withCountdown*/) {
  platform_.process.exit(kExitFailure);
}

}  // namespace morvane
