#include "platform/posix/authorization_choice.h"

#include <utility>

namespace morvane {
namespace {

/// The credential handed out when there is no way to the right: it holds nothing.
constexpr AuthorizationRef kWithoutWay = 1;

}  // namespace

AuthorizationMode chooseAuthorizationMode(const std::function<bool()>& runsAsRoot,
                                          const std::function<bool()>& polkitUsable,
                                          const std::function<bool()>& hasTerminal) {
  if (runsAsRoot()) {
    return AuthorizationMode::kRoot;
  }
  if (polkitUsable()) {
    return AuthorizationMode::kPolkit;
  }
  return hasTerminal() ? AuthorizationMode::kSudo : AuthorizationMode::kNone;
}

ChosenAuthorizationService::ChosenAuthorizationService(
    std::function<AuthorizationService*()> choose)
    : choose_(std::move(choose)) {}

OSStatus ChosenAuthorizationService::create(AuthorizationFlags flags,
                                            AuthorizationRef* authorization) {
  if (!chosen_) {
    service_ = choose_();
    chosen_ = true;
  }
  if (service_ != nullptr) {
    return service_->create(flags, authorization);
  }
  // The run still gets a credential, so that the request itself fails, and is logged as such.
  if (authorization == nullptr) {
    return errAuthorizationInternal;
  }
  *authorization = kWithoutWay;
  return errAuthorizationSuccess;
}

OSStatus ChosenAuthorizationService::copyRights(AuthorizationRef authorization,
                                                const AuthorizationRights& rights,
                                                AuthorizationFlags flags) {
  return service_ != nullptr ? service_->copyRights(authorization, rights, flags)
                             : errAuthorizationInternal;
}

OSStatus ChosenAuthorizationService::executeWithPrivileges(
    AuthorizationRef authorization, const char* tool, AuthorizationFlags flags,
    const char* const* arguments, std::unique_ptr<PrivilegedTool>* started) {
  return service_ != nullptr
             ? service_->executeWithPrivileges(authorization, tool, flags, arguments, started)
             : errAuthorizationInternal;
}

OSStatus ChosenAuthorizationService::free(AuthorizationRef authorization,
                                          AuthorizationFlags flags) {
  return service_ != nullptr ? service_->free(authorization, flags) : errAuthorizationSuccess;
}

}  // namespace morvane
