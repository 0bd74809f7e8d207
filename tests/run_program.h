#pragma once

#include <string>
#include <vector>

namespace morvane::testing {

struct ProgramResult {
  int status = -1;  // the exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

/// Runs `program` with `arguments` (argv[0] included) and exactly `environment`, standard
/// input from /dev/null; collects both output streams and the exit status.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment);

}  // namespace morvane::testing
