#pragma once

namespace morvane {

/// Asks the system to restart the computer.
class Restarter {
 public:
  virtual ~Restarter() = default;

  /// Asks the login manager to reboot, without waiting for the reboot or for an answer; true
  /// when the request was handed over.
  virtual bool requestRestart() = 0;
};

}  // namespace morvane
