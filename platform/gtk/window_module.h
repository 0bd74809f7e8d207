#pragma once

// What the program and its window module agree on. The module runs only in a process of its
// own, which the program forks to show the window: GDK ends its process when the display goes
// away (with 1, the program's success status, on Wayland), and so only that process ends. The
// two share nothing but this entry point and the messages on their socket
// (platform/gtk/window_messages.h).

namespace morvane {

/// The module's file, beside the executable in a build folder, or in the installed library
/// folder.
inline constexpr char kWindowModuleFile[] = "morvane-window.so";

/// The name of the module's one exported symbol, `morvane_run_window`.
inline constexpr char kWindowModuleEntry[] = "morvane_run_window";

}  // namespace morvane

/// Initialises the toolkit on the display named in the environment and says on `socket`
/// whether it could ("ready", or "failed" with the reason). Then shows the window the program
/// describes, sends back what the user does, and returns when the program's end of the socket
/// closes; the status is for the process's end.
extern "C" int morvane_run_window(int socket);
