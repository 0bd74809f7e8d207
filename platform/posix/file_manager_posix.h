#pragma once

#include "platform/file_manager.h"

namespace morvane {

/// `stat` and `access(X_OK)`; links are followed, as the operations expect of a path.
class PosixFileManager final : public FileManager {
 public:
  bool fileExists(const std::string& path, bool* isDirectory = nullptr) const override;
  bool isExecutableFile(const std::string& path) const override;
};

}  // namespace morvane
