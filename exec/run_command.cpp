// Running a tool with the program's own rights.
#include "app/MorvaneAppDelegate.h"
#include "platform/utf8.h"

namespace morvane {

std::optional<std::string> MorvaneAppDelegate::runCommand(
    const std::optional<std::string>& tool,
    const std::optional<std::vector<std::string>>& arguments) {
  if (!tool || !arguments || !platform_.files.isExecutableFile(*tool)) {
    return std::nullopt;
  }
  std::optional<std::string> output = platform_.processes.launchAndReadOutput(*tool, *arguments);
  if (!output || !isValidUtf8(*output)) {
    return std::nullopt;
  }
  return output;
}

}  // namespace morvane
