#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvane {

/// Starts a tool with the program's own rights and reads its standard output to the end.
class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;

  /// Runs `tool` (an absolute path) with `arguments` (without the tool's own name). The tool's
  /// standard input and standard error are the program's; its standard output is read until
  /// every writer has closed it, and the tool is reaped. Returns the bytes written, or none
  /// when the tool could not be started. The tool's exit status never shapes the result.
  virtual std::optional<std::string> launchAndReadOutput(
      const std::string& tool, const std::vector<std::string>& arguments) = 0;
};

}  // namespace morvane
