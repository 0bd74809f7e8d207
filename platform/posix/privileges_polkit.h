#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/privileges_posix.h"

namespace morvane {

/// The program's one polkit action. It lets the root helper run as root, and nothing else.
inline constexpr char kPolkitAction[] = "org.morvane.exec";

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
/// helper the tool, so the wait is for the tool's own process. SIGINT, SIGTERM and SIGHUP are
/// deferred while pkcheck or a tool runs.
///
/// When no agent answers for this process and it has a controlling terminal, a text agent
/// (`pkttyagent`) is started on it for the rest of the run, and the right is asked for once
/// more. The agent is stopped by stopAgent() or with the way.
///
/// Outcomes of a request, from pkcheck's exit status: 0 kGranted; 1 kDenied; 3 kCanceled (the
/// user dismissed the dialog), as when the program was asked to end meanwhile; 2 (no agent to
/// ask the user) or any other, pkcheck not started, or this process's start time unreadable,
/// kUnavailable.
class PolkitWay final : public PrivilegedWay {
 public:
  /// `hasTerminal` answers whether a text agent could ask on a controlling terminal.
  explicit PolkitWay(PolkitTools tools = {},
                     std::function<bool()> hasTerminal = hasControllingTerminal);
  ~PolkitWay() override;
  PolkitWay(const PolkitWay&) = delete;
  PolkitWay& operator=(const PolkitWay&) = delete;

  /// True when pkexec and pkcheck are installed and polkit knows the program's action. Runs
  /// pkaction, so it is asked only when a run needs the right.
  bool usable() const;

  PrivilegeOutcome obtainRight() override;
  PrivilegedRun runTool(const char* tool, const char* const* arguments) override;

  /// Stops the text agent, if one runs, and waits for it: the run is over.
  void stopAgent();

 private:
  /// pkcheck for `subject`; its exit status, or none when it did not start or end by itself.
  std::optional<int> check(const std::string& subject) const;
  /// Starts the text agent for `process` and waits until it has registered; false when it
  /// could not start or has ended.
  bool startAgent(const std::string& process);

  PolkitTools tools_;
  std::function<bool()> hasTerminal_;
  bool granted_ = false;
  std::optional<ChildProcess> agent_;
};

}  // namespace morvane
