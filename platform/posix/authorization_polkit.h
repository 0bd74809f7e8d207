#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/authorization.h"
#include "platform/posix/authorization_posix.h"

namespace morvane {

/// The program's one polkit action. It lets the root helper run as root, and nothing else.
inline constexpr char kPolkitAction[] = "org.morvane.exec";

/// The installed root helper: it runs a tool only when it is one of the program's own.
extern const char kExecHelper[];

/// The polkit tools, each run by its absolute path, and the helper that pkexec starts.
struct PolkitTools {
  std::string pkcheck = "/usr/bin/pkcheck";
  std::string pkexec = "/usr/bin/pkexec";
  std::string pkttyagent = "/usr/bin/pkttyagent";
  std::string pkaction = "/usr/bin/pkaction";
  std::string helper = kExecHelper;
};

/// The start time of a process (the 22nd field), read from the text of its /proc/PID/stat;
/// none when the text does not hold it.
std::optional<unsigned long long> processStartTime(std::string_view stat);

/// The administrator right through polkit, for a program that does not run as root: the right
/// is the program's own action, checked for this process with `pkcheck` before every tool (the
/// user may be asked by an authentication agent), and each tool starts as
/// `pkexec --disable-internal-agent HELPER TOOL ARGS...`. pkexec becomes the helper and the
/// helper the tool, so the wait is for the tool's own process. Tools read /dev/null and their
/// output is discarded so that it can never stall them. SIGINT, SIGTERM and SIGHUP are deferred
/// while pkcheck or a tool runs.
///
/// When no agent answers for this process and it has a controlling terminal, a text agent
/// (`pkttyagent`) is started on it for the rest of the run, and the right is asked for once
/// more. The agent is stopped when the credential is freed, by stopAgent(), or with the
/// service.
///
/// Statuses of a request, from pkcheck's exit status: 0 granted; 1 errAuthorizationDenied;
/// 3 errAuthorizationCanceled (the user dismissed the dialog), as when the program was asked
/// to end meanwhile; 2 (no agent to ask the user) or any other, or pkcheck not started,
/// errAuthorizationInternal. A tool start: errAuthorizationToolExecuteFailure when the tool is
/// no program or pkexec cannot start.
class PolkitAuthorizationService final : public AuthorizationService {
 public:
  /// `hasTerminal` answers whether a text agent could ask on a controlling terminal.
  explicit PolkitAuthorizationService(PolkitTools tools = {},
                                      std::function<bool()> hasTerminal = hasControllingTerminal);
  ~PolkitAuthorizationService() override;
  PolkitAuthorizationService(const PolkitAuthorizationService&) = delete;
  PolkitAuthorizationService& operator=(const PolkitAuthorizationService&) = delete;

  /// True when pkexec and pkcheck are installed and polkit knows the program's action. Runs
  /// pkaction, so it is asked only when a run needs the right.
  bool usable() const;

  /// A new credential for this process (its pid, start time and uid) that holds no right yet;
  /// errAuthorizationInternal when the start time cannot be read.
  OSStatus create(AuthorizationFlags flags, AuthorizationRef* authorization) override;
  /// Checks the program's action for the process; the administrator right is the only one
  /// granted. Without kAuthorizationFlagInteractionAllowed nobody is asked.
  OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights& rights,
                      AuthorizationFlags flags) override;
  /// Starts `tool`, an absolute path, through pkexec and the helper once the credential holds
  /// the right.
  OSStatus executeWithPrivileges(AuthorizationRef authorization, const char* tool,
                                 AuthorizationFlags flags, const char* const* arguments,
                                 std::unique_ptr<PrivilegedTool>* started) override;
  /// Forgets the credential and stops the text agent.
  OSStatus free(AuthorizationRef authorization, AuthorizationFlags flags) override;

  /// Stops the text agent, if one runs, and waits for it: the run is over.
  void stopAgent();

 private:
  /// The process the right is checked for: "PID,START", the form the agent takes, and the uid.
  struct Credential {
    std::string process;
    std::string uid;
    bool granted = false;
  };

  /// pkcheck for `credential`; its exit status, or none when it did not start or end by itself.
  std::optional<int> check(const Credential& credential, bool mayAsk) const;
  /// Starts the text agent for `process` and waits until it has registered; false when it
  /// could not start or has ended.
  bool startAgent(const std::string& process);

  PolkitTools tools_;
  std::function<bool()> hasTerminal_;
  std::map<AuthorizationRef, Credential> credentials_;
  AuthorizationRef nextReference_ = 1;
  std::optional<ChildProcess> agent_;
};

}  // namespace morvane
