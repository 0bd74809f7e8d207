#pragma once

#include <string>

namespace morvane {

/// The file questions the operations ask: existence, directory, executability.
class FileManager {
 public:
  virtual ~FileManager() = default;

  /// True when a file or a folder exists at `path`; `isDirectory`, when given, tells which.
  virtual bool fileExists(const std::string& path, bool* isDirectory = nullptr) const = 0;

  /// True only when a file exists at `path` and this process may execute it.
  virtual bool isExecutableFile(const std::string& path) const = 0;
};

}  // namespace morvane
