#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace morvane::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "morvane-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  /// Writes `contents` to `name` inside the folder, making the folders on the way.
  std::string file(const std::string& name, const std::string& contents) const {
    const std::filesystem::path path = path_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// `body` wrapped as an XML property list.
inline std::string xmlPlist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
         "\n</plist>\n";
}

// Small stand-in tools that tests write into a temporary folder, and what they recorded.

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
