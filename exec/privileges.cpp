// The administrator right and the tools run with it.
#include <cstdint>
#include <string>

#include "app/MorvaneAppDelegate.h"

namespace morvane {
namespace {

/// The number a log line prints for `outcome`: the status an installer's scripts already know
/// from the original platform's authorization service.
std::int32_t statusCode(PrivilegeOutcome outcome) {
  switch (outcome) {
    case PrivilegeOutcome::kGranted:
      return 0;
    case PrivilegeOutcome::kDenied:
      return -60005;
    case PrivilegeOutcome::kCanceled:
      return -60006;
    case PrivilegeOutcome::kUnavailable:
      return -60008;
    case PrivilegeOutcome::kToolNotStarted:
      return -60031;
  }
  return -60008;
}

}  // namespace

bool MorvaneAppDelegate::authorizeSetting() {
  if (authorizationRef == nullptr) {
    authorizationRef = platform_.privileges.chooseWay();
    if (authorizationRef == nullptr) {
      platform_.log.write("Error Creating Initial Authorization: " +
                          std::to_string(statusCode(PrivilegeOutcome::kUnavailable)));
      return false;
    }
  }
  // Asked before every tool, also after an earlier grant: a refusal is asked again next time.
  const PrivilegeOutcome outcome = authorizationRef->obtainRight();
  if (outcome != PrivilegeOutcome::kGranted) {
    platform_.log.write("Copy Rights Unsuccessful: " + std::to_string(statusCode(outcome)));
    return false;
  }
  return true;
}

bool MorvaneAppDelegate::executePrivilegesWithCommand(const char* tool, const char* const* args) {
  // Once the program was asked to end, the run is on its way out: nothing more is started.
  if (platform_.privileges.interrupted() || !authorizeSetting()) {
    return false;
  }
  // The way waits for the tool, so the next tool of a sequence never overlaps this one.
  const PrivilegedRun run = authorizationRef->runTool(tool, args);
  if (run.outcome != PrivilegeOutcome::kGranted) {
    platform_.log.write("Error: " + std::to_string(statusCode(run.outcome)));
    return false;
  }
  lastToolStatus_ = run.status;
  return true;
}

MorvaneAppDelegate::ToolResult MorvaneAppDelegate::runPrivilegedTool(const char* tool,
                                                                     const char* const* args) {
  if (!executePrivilegesWithCommand(tool, args)) {
    return ToolResult::kNotRun;
  }
  if (lastToolStatus_ != 0) {
    platform_.log.write(std::string(tool) + " ended with status " +
                        std::to_string(lastToolStatus_));
    return ToolResult::kFailed;
  }
  return ToolResult::kSucceeded;
}

}  // namespace morvane
