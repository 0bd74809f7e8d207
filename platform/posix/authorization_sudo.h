#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/authorization.h"
#include "platform/posix/authorization_posix.h"

namespace morvane {

/// The sudo tool; run by this absolute path only.
inline constexpr char kSudoTool[] = "/usr/bin/sudo";

/// The administrator right on this machine. When the program already runs as administrator the
/// right is granted at once and tools start directly. Otherwise the right is requested with
/// `sudo -v`, which may ask for the password on the terminal, and each tool starts as
/// `sudo -n -- TOOL ARGS...`, which never asks, once `sudo -n -l -- TOOL ARGS...` said that it
/// will: sudo's refusal would look like a tool that ran and failed. Tools read /dev/null, their
/// output is discarded so that it can never stall them, and they get a fixed minimal
/// environment. SIGINT, SIGTERM and SIGHUP are deferred while sudo or a tool runs.
///
/// Statuses: 0 granted; errAuthorizationDenied when sudo refuses (wrong password, a rule that
/// does not allow this tool with these arguments, a saved login that has expired since);
/// errAuthorizationCanceled when sudo ends by a signal (Ctrl-C at the password prompt) or the
/// program was asked to end meanwhile; errAuthorizationInternal when sudo cannot be started;
/// errAuthorizationToolExecuteFailure, as root and through sudo alike, when the tool is no file
/// that can be started as a program, or it (or sudo for it) cannot be started.
class SudoAuthorizationService final : public AuthorizationService {
 public:
  /// `sudo` is the absolute path of the sudo tool. `isAdministrator` answers whether the program
  /// already runs as administrator; it is asked on every request and every tool start.
  explicit SudoAuthorizationService(std::string sudo = kSudoTool,
                                    std::function<bool()> isAdministrator = runsAsRoot);

  /// A new credential that holds no right yet.
  OSStatus create(AuthorizationFlags flags, AuthorizationRef* authorization) override;
  /// Grants the administrator right ("system.privilege.admin") to the credential; any other
  /// right, and an empty set, is denied. Without kAuthorizationFlagInteractionAllowed sudo may not
  /// ask.
  OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights& rights,
                      AuthorizationFlags flags) override;
  /// Starts `tool`, an absolute path, once the credential holds the right.
  OSStatus executeWithPrivileges(AuthorizationRef authorization, const char* tool,
                                 AuthorizationFlags flags, const char* const* arguments,
                                 std::unique_ptr<PrivilegedTool>* started) override;
  /// Forgets the credential. With kAuthorizationFlagDestroyRights the sudo credentials of the
  /// user are dropped as well (`sudo -k`); without it they stay for the user's next command.
  OSStatus free(AuthorizationRef authorization, AuthorizationFlags flags) override;

 private:
  /// What a credential stands for: whether the right was granted on its last request.
  struct Credential {
    bool granted = false;
  };

  /// Runs sudo with `options` and waits for it, signals deferred; its wait status, or none when
  /// it cannot start. The terminal stays connected (sudo asks for the password there) unless
  /// `quiet`: then sudo reads nothing and its output is discarded.
  std::optional<int> runSudo(std::vector<const char*> options, bool quiet = false) const;
  /// Whether sudo starts `tool` with the null-terminated `arguments` without asking: 0, or the
  /// status to refuse the start with.
  OSStatus sudoWouldStart(const char* tool, const char* const* arguments) const;

  std::string sudo_;
  std::function<bool()> isAdministrator_;
  std::map<AuthorizationRef, Credential> credentials_;
  AuthorizationRef nextReference_ = 1;
};

}  // namespace morvane
