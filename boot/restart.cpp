// The restart request.
#include "app/MorvaneAppDelegate.h"

namespace morvane {

bool MorvaneAppDelegate::restartSystem() {
  return platform_.restarter.requestRestart();
}

}  // namespace morvane
