#pragma once

#include <functional>

#include "platform/posix/privileges_polkit.h"
#include "platform/posix/privileges_posix.h"
#include "platform/posix/privileges_sudo.h"
#include "platform/privileges.h"

namespace morvane {

/// The ways to the administrator right on this machine.
enum class PrivilegeMode { kRoot, kPolkit, kSudo, kNone };

/// The first way that works, in this order: as root, tools run directly; otherwise polkit,
/// where it is usable; otherwise sudo, which asks on the terminal; otherwise none. The
/// questions are asked in that order and only as far as needed: `polkitUsable` runs a tool.
PrivilegeMode choosePrivilegeMode(const std::function<bool()>& runsAsRoot,
                                  const std::function<bool()>& polkitUsable,
                                  const std::function<bool()>& hasTerminal);

/// This machine's ways, the one for the run chosen at its first need.
class LinuxPrivileges final : public Privileges {
 public:
  PrivilegedWay* chooseWay() override;
  /// Asked to end by a signal that was deferred while a tool or a question ran.
  bool interrupted() const override;

  /// Stops what the chosen way keeps running for the rest of the run (polkit's text agent).
  void stopHelpers() { polkit_.stopAgent(); }

 private:
  RootWay root_;
  PolkitWay polkit_;
  SudoWay sudo_;
  bool chosen_ = false;
  PrivilegedWay* way_ = nullptr;
};

}  // namespace morvane
