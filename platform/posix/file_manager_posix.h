#pragma once

#include "platform/file_manager.h"

namespace morvane {

/// `stat` and `access(X_OK)`, which follow links, as the operations expect of a path; `lstat`
/// for the attributes, which does not.
class PosixFileManager final : public FileManager {
 public:
  bool fileExists(const std::string& path, bool* isDirectory = nullptr) const override;
  bool isExecutableFile(const std::string& path) const override;
  std::optional<FileAttributes> attributesOfItem(const std::string& path) const override;
  std::optional<std::string> currentFolder() const override;
  /// flock on the folder itself, opened read-only: any local user may take it too.
  std::unique_ptr<FolderLock> lockFolder(const std::string& folder, std::chrono::seconds patience,
                                         const std::function<void()>& waiting) override;
};

}  // namespace morvane
