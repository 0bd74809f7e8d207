#pragma once

#include <functional>

#include "platform/authorization.h"

namespace morvane {

/// The ways to the administrator right on this machine.
enum class AuthorizationMode { kRoot, kPolkit, kSudo, kNone };

/// The first way that works, in this order: as root, tools run directly; otherwise polkit,
/// where it is usable; otherwise sudo, which asks on the terminal; otherwise none. The
/// questions are asked in that order and only as far as needed: `polkitUsable` runs a tool.
AuthorizationMode chooseAuthorizationMode(const std::function<bool()>& runsAsRoot,
                                          const std::function<bool()>& polkitUsable,
                                          const std::function<bool()>& hasTerminal);

/// The authorization of the way chosen at the run's first request, since most runs never need
/// the right and the choice runs tools. Without any way, every request fails with
/// errAuthorizationInternal.
class ChosenAuthorizationService final : public AuthorizationService {
 public:
  /// `choose` is asked once, at the first create(); it answers the service to use, or null.
  explicit ChosenAuthorizationService(std::function<AuthorizationService*()> choose);

  OSStatus create(AuthorizationFlags flags, AuthorizationRef* authorization) override;
  OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights& rights,
                      AuthorizationFlags flags) override;
  OSStatus executeWithPrivileges(AuthorizationRef authorization, const char* tool,
                                 AuthorizationFlags flags, const char* const* arguments,
                                 std::unique_ptr<PrivilegedTool>* started) override;
  OSStatus free(AuthorizationRef authorization, AuthorizationFlags flags) override;

 private:
  std::function<AuthorizationService*()> choose_;
  bool chosen_ = false;
  AuthorizationService* service_ = nullptr;
};

}  // namespace morvane
