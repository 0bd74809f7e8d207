#pragma once

#include <memory>

#include "platform/restarter.h"

namespace morvane {

/// The restart request to the login manager on the system bus (`DBUS_SYSTEM_BUS_ADDRESS` when
/// set): `org.freedesktop.login1.Manager.Reboot(true)`, which lets it ask the user for
/// authorization, sent with no reply expected. The D-Bus library is loaded at the first request
/// only, and the connection is kept from then on: the login manager checks the sender of the
/// request, which must still be there when it looks.
class LoginManagerRestarter final : public Restarter {
 public:
  LoginManagerRestarter();
  ~LoginManagerRestarter() override;
  LoginManagerRestarter(const LoginManagerRestarter&) = delete;
  LoginManagerRestarter& operator=(const LoginManagerRestarter&) = delete;

  /// False when the library or the bus cannot be reached, nobody owns the login manager's name
  /// (a message to it would be dropped without an error), or the request cannot be sent.
  bool requestRestart() override;

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};

}  // namespace morvane
