#pragma once

namespace morvane {

/// Undoes what a caller's process state would carry into a run as root, before anything else
/// runs: the file mode creation mask becomes 022, standard input, output and error are opened
/// on /dev/null where they are closed, and SIGCHLD is back at its default.
void resetInheritedProcessState();

}  // namespace morvane
