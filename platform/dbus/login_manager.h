#pragma once

namespace morvane {

/// How a reboot request to the login manager ended.
enum class RebootRequest {
  kAccepted,  ///< the login manager took the request; the reboot follows without us
  kNoBus,     ///< the D-Bus library or the system bus could not be reached
  kRefused,   ///< the bus or the login manager answered with an error
};

/// Asks the login manager on the system bus (`DBUS_SYSTEM_BUS_ADDRESS` when set) to reboot,
/// letting it ask the user for authorization. Returns once the request is answered, not when
/// the machine reboots. The D-Bus library is loaded for this call only.
RebootRequest requestReboot();

}  // namespace morvane
