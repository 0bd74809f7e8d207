// The system tools the program runs, each by its one fixed absolute path.
#pragma once

namespace morvane {

/// Run without privileges: asked about loaded kexts and the machine name.
inline constexpr char kKextstatTool[] = "/usr/sbin/kextstat";
inline constexpr char kUnameTool[] = "/usr/bin/uname";

/// Run with administrator rights (the nvram tool also without, to read the boot arguments).
inline constexpr char kKextunloadTool[] = "/sbin/kextunload";
inline constexpr char kKextloadTool[] = "/sbin/kextload";
inline constexpr char kCpTool[] = "/bin/cp";
inline constexpr char kRmTool[] = "/bin/rm";
inline constexpr char kTouchTool[] = "/usr/bin/touch";
inline constexpr char kNvramTool[] = "/usr/sbin/nvram";

/// The root helper's own exit statuses, from 64 (no tool named) to 67 (it could not make itself
/// safe to start a tool from): none of the privileged tools ends with one of them.
inline constexpr int kFirstHelperStatus = 64;
inline constexpr int kLastHelperStatus = 67;

}  // namespace morvane
