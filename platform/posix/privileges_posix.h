#pragma once

#include <optional>
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

/// True when the program's effective user is root.
bool runsAsRoot();

/// True when the process has a controlling terminal that it may open.
bool hasControllingTerminal();

/// `prefix`, then `tool` and the null-terminated `arguments` (which may be null).
Argv toolArgv(Argv prefix, const char* tool, const char* const* arguments);

/// True when `tool` is an absolute path to a file that may be started as a program: asked
/// before any way of starting it, so that a missing tool answers alike in every way.
bool isProgram(const char* tool);

/// Runs `path` with `argv` (its own name first) and waits for it, with SIGINT, SIGTERM and
/// SIGHUP deferred and SIGTERM passed on to it. Its wait status, or none when it cannot start.
std::optional<int> runAndWait(const char* path, Argv argv, const ChildStreams& streams);

/// Runs the privileged tool `path` with `argv`, its streams quiet, as runAndWait does.
PrivilegedRun runPrivileged(const char* path, Argv argv);

/// As root the right is held already, and tools start directly.
class RootWay final : public PrivilegedWay {
 public:
  PrivilegeOutcome obtainRight() override { return PrivilegeOutcome::kGranted; }
  PrivilegedRun runTool(const char* tool, const char* const* arguments) override;
};

}  // namespace morvane
