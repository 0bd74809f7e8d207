// The administrator right and the tools run with it.
#include <string>

#include "app/MorvaneAppDelegate.h"

namespace morvane {
namespace {

/// The user may be asked, the right extends to our credential, and it is obtained now rather
/// than when the tool starts.
constexpr AuthorizationFlags kRightsRequestFlags = kAuthorizationFlagInteractionAllowed |
                                                   kAuthorizationFlagExtendRights |
                                                   kAuthorizationFlagPreAuthorize;

}  // namespace

bool MorvaneAppDelegate::authorizeSetting() {
  AuthorizationService& service = platform_.authorization;
  if (authorizationRef == kNoAuthorization) {
    const OSStatus status = service.create(kAuthorizationFlagDefaults, &authorizationRef);
    if (status != errAuthorizationSuccess) {
      platform_.log.write("Error Creating Initial Authorization: " + std::to_string(status));
      return false;
    }
  }
  // Asked before every tool, also after an earlier grant: a refusal is asked again next time.
  AuthorizationItem right{kAuthorizationRightAdmin, 0, nullptr, 0};
  const AuthorizationRights rights{1, &right};
  const OSStatus status = service.copyRights(authorizationRef, rights, kRightsRequestFlags);
  if (status != errAuthorizationSuccess) {
    platform_.log.write("Copy Rights Unsuccessful: " + std::to_string(status));
    return false;
  }
  return true;
}

bool MorvaneAppDelegate::executePrivilegesWithCommand(const char* tool, const char* const* args) {
  // Once the program was asked to end, the run is on its way out: nothing more is started.
  if (platform_.process.interrupted() || !authorizeSetting()) {
    return false;
  }
  std::unique_ptr<PrivilegedTool> started;
  const OSStatus status = platform_.authorization.executeWithPrivileges(
      authorizationRef, tool, kAuthorizationFlagDefaults, args, &started);
  if (status != errAuthorizationSuccess) {
    platform_.log.write("Error: " + std::to_string(status));
    return false;
  }
  // The next tool of a sequence must never overlap this one.
  if (started) {
    started->waitUntilExit();
  }
  return true;
}

}  // namespace morvane
