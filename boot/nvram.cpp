// The io boot argument in the firmware variable "boot-args".
#include "app/MorvaneAppDelegate.h"
#include "exec/tool_vectors.h"

namespace morvane {
namespace {

constexpr char kIoBootArgument[] = "io=0x00040000";

}  // namespace

bool MorvaneAppDelegate::hasNVRAMArg() {
  const std::optional<std::string> bootArgs =
      runCommand(kNvramTool, std::vector<std::string>{"boot-args"});
  return bootArgs && bootArgs->find(kIoBootArgument) != std::string::npos;
}

bool MorvaneAppDelegate::writeNVRAMArg(bool remove) {
  // The machine name the running system reports, not the architecture we were built for.
  const std::optional<std::string> machine = runCommand(kUnameTool, std::vector<std::string>{"-m"});
  if (!machine || !machine->starts_with("x86_64")) {
    return true;
  }
  const std::optional<std::int32_t> version = platform_.systemInfo.systemVersion();
  if (!version) {
    return false;
  }
  if (remove) {
    if (hasNVRAMArg()) {
      const ToolCall clear = toolCall(kClearBootArgsVector);
      executePrivilegesWithCommand(clear.tool, clear.arguments);
    }
    return true;
  }
  if (*version >= kLionSystemVersion || hasNVRAMArg()) {
    return true;
  }
  const ToolCall set = toolCall(kSetBootArgsVector);
  if (!executePrivilegesWithCommand(set.tool, set.arguments) || !hasNVRAMArg()) {
    return false;
  }
  if (preInstallCheckRebootFile) {
    touchRebootMarker();
  }
  return true;
}

}  // namespace morvane
