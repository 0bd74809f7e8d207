#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/posix/process_launcher_posix.h"
#include "platform/privileges.h"

namespace morvane {

// What the ways to the administrator right on this machine (root, sudo, polkit) share.

/// A privileged tool's standard streams: it reads nothing, and its output is discarded so that
/// it can never stall on a full pipe. It gets the fixed environment of the tools run as root.
inline constexpr ChildStreams kQuietStreams{
    .inputFromNull = true, .outputToNull = true, .environment = kToolEnvironment};

using Argv = std::vector<const char*>;

/// The installed root helper: every way starts the privileged tools through it, and it runs a
/// tool only with a vector of the program's own table.
extern const char kExecHelper[];

/// True when the program's effective user is root.
bool runsAsRoot();

/// True when the process has a controlling terminal that it may open.
bool hasControllingTerminal();

/// `prefix`, then `tool` and the null-terminated `arguments` (which may be null).
Argv toolArgv(Argv prefix, const char* tool, const char* const* arguments);

/// True when `tool` is an absolute path to a file that may be started as a program.
bool isProgram(const char* tool);

/// Why `tool` is not started, asked before any way of starting it: without the right (`granted`
/// false), or a tool that the root helper cannot be asked to start (only its own operation or a
/// program can), so that a missing tool answers alike in every way. None when it may start.
std::optional<PrivilegedRun> refusedStart(bool granted, const char* tool);

/// Runs `path` with `argv` (its own name first) and waits for it, with SIGINT, SIGTERM and
/// SIGHUP deferred and SIGTERM passed on to it. Its wait status, or none when it cannot start.
std::optional<int> runAndWait(const char* path, Argv argv, const ChildStreams& streams);

/// Runs `path` with `argv`, which start the root helper, its streams quiet, as runAndWait
/// does. The helper's own statuses (a refused vector, a tool it could not start) mean that the
/// tool was not started: none of the privileged tools ends with one of them.
PrivilegedRun runPrivileged(const char* path, Argv argv);

/// As root the right is held already, and the root helper starts the tools directly, so that
/// its rules hold here as well.
class RootWay final : public PrivilegedWay {
 public:
  explicit RootWay(std::string helper = kExecHelper) : helper_(std::move(helper)) {}

  PrivilegeOutcome obtainRight() override { return PrivilegeOutcome::kGranted; }
  PrivilegedRun runTool(const char* tool, const char* const* arguments) override;

 private:
  std::string helper_;
};

}  // namespace morvane
