#pragma once

// What the program and its window module agree on. The module is loaded with dlopen and
// shares nothing with the program but this entry point and the plain controls it renders, so
// everything that crosses is a virtual call or an inline accessor.

#include "platform/prompt_backend.h"

namespace morvane {

/// The module's file, beside the executable in a build folder, or in the installed library
/// folder.
inline constexpr char kWindowModuleFile[] = "morvane-window.so";

/// The name of the module's one exported symbol, `morvane_open_window_backend`.
inline constexpr char kWindowModuleEntry[] = "morvane_open_window_backend";

}  // namespace morvane

/// Initialises the toolkit on the display named in the environment and makes the window
/// backend, which the caller owns. Null when the display cannot be opened, with the reason in
/// `*why`: a text of the module's that lives as long as the module stays loaded.
extern "C" morvane::PromptBackend* morvane_open_window_backend(const char** why);
