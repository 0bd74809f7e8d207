// The environment of every tool that runs as root, for the program and its root helper alike.
#pragma once

namespace morvane {

/// The whole environment of every tool that runs as root: a new, fixed one rather than a
/// cleaned copy of ours, so that nothing the caller of the program set reaches it. PATH names
/// only the system's own folders, so a tool that starts another finds the system's copy; LANG=C
/// says the locale outright, so every tool answers in the same language and format whoever ran
/// the program, and reads no locale files of the caller's choosing as root.
inline constexpr const char* kToolEnvironment[] = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C",
                                                   nullptr};

}  // namespace morvane
