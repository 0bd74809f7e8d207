#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/authorization.h"
#include "platform/posix/process_launcher_posix.h"

namespace morvane {

// What the ways to the administrator right on this machine (root, sudo, polkit) share.

/// The original platform's status for a reference it never handed out.
inline constexpr OSStatus errAuthorizationInvalidRef = -60002;

/// A tool's standard streams: it reads nothing, and its output is discarded so that it can
/// never stall on a full pipe. It gets the fixed environment of the tools run as root.
inline constexpr ChildStreams kQuietStreams{
    .inputFromNull = true, .outputToNull = true, .environment = kToolEnvironment};

using Argv = std::vector<const char*>;

/// True when the program's effective user is root.
bool runsAsRoot();

/// True when the process has a controlling terminal that it may open.
bool hasControllingTerminal();

/// True when `rights` names the administrator right and nothing else; an empty set asks for
/// nothing, so it grants nothing either.
bool asksOnlyForAdminRight(const AuthorizationRights& rights);

/// `prefix`, then `tool` and the null-terminated `arguments` (which may be null).
Argv toolArgv(Argv prefix, const char* tool, const char* const* arguments);

/// True when `tool` is an absolute path to a file that may be started as a program: asked
/// before any way of starting it, so that a missing tool answers alike in every way.
bool isProgram(const char* tool);

/// Runs `path` with `argv` (its own name first) and waits for it, with SIGINT, SIGTERM and
/// SIGHUP deferred and SIGTERM passed on to it. Its wait status, or none when it cannot start.
std::optional<int> runAndWait(const char* path, Argv argv, const ChildStreams& streams);

/// Starts `path` with `argv` as the privileged tool, its streams quiet; signals stay deferred
/// until `started` is gone. errAuthorizationToolExecuteFailure when it cannot start.
OSStatus startPrivilegedTool(const char* path, Argv argv, std::unique_ptr<PrivilegedTool>* started);

}  // namespace morvane
