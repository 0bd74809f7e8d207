#include "platform/posix/privileges_choice.h"

#include "platform/posix/deferred_signals.h"

namespace morvane {

PrivilegeMode choosePrivilegeMode(const std::function<bool()>& runsAsRoot,
                                  const std::function<bool()>& polkitUsable,
                                  const std::function<bool()>& hasTerminal) {
  if (runsAsRoot()) {
    return PrivilegeMode::kRoot;
  }
  if (polkitUsable()) {
    return PrivilegeMode::kPolkit;
  }
  return hasTerminal() ? PrivilegeMode::kSudo : PrivilegeMode::kNone;
}

PrivilegedWay* LinuxPrivileges::chooseWay() {
  if (chosen_) {
    return way_;
  }
  chosen_ = true;
  switch (choosePrivilegeMode(
      runsAsRoot, [this] { return polkit_.usable(); }, hasControllingTerminal)) {
    case PrivilegeMode::kRoot:
      way_ = &root_;
      break;
    case PrivilegeMode::kPolkit:
      way_ = &polkit_;
      break;
    case PrivilegeMode::kSudo:
      way_ = &sudo_;
      break;
    case PrivilegeMode::kNone:
      break;
  }
  return way_;
}

bool LinuxPrivileges::interrupted() const {
  return askedToEnd();
}

}  // namespace morvane
