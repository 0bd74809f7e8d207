#pragma once

// Small stand-in tools that tests write into a temporary folder, and the reading of what they
// recorded.

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/temp_folder.h"

namespace morvane::testing {

/// The whole content of `path`, or "" when it cannot be read.
inline std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Writes the shell script `name` with `body` into `folder`, executable unless `mode` says
/// otherwise; its path.
inline std::string writeTool(const TempFolder& folder, const std::string& name,
                             const std::string& body, mode_t mode = 0755) {
  const std::string path = folder.file(name, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), mode);
  return path;
}

/// Shell commands that append one line to `record` holding every argument of the script as
/// LENGTH:TEXT, so that spaces, line breaks and empty arguments read back exactly.
inline std::string recordArguments(const std::string& record) {
  return "for a; do printf '%d:%s' \"${#a}\" \"$a\"; done >>'" + record + "'; printf '\\n' >>'" +
         record + "'";
}

/// The calls written by recordArguments, first first.
inline std::vector<std::vector<std::string>> recordedCalls(const std::string& record) {
  const std::string text = fileText(record);
  std::vector<std::vector<std::string>> calls(1);
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == '\n') {
      calls.emplace_back();
      ++at;
      continue;
    }
    const std::size_t colon = text.find(':', at);
    const std::size_t length = std::stoul(text.substr(at, colon - at));
    calls.back().push_back(text.substr(colon + 1, length));
    at = colon + 1 + length;
  }
  calls.pop_back();
  return calls;
}

}  // namespace morvane::testing
