#include "platform/posix/file_manager_posix.h"

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

bool PosixFileManager::fileExists(const std::string& path, bool* isDirectory) const {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) {
    return false;
  }
  if (isDirectory != nullptr) {
    *isDirectory = S_ISDIR(info.st_mode);
  }
  return true;
}

bool PosixFileManager::isExecutableFile(const std::string& path) const {
  // access(X_OK) alone says yes to a searchable folder; only a regular file is a tool.
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return false;
  }
  return ::access(path.c_str(), X_OK) == 0;
}

std::optional<FileAttributes> PosixFileManager::attributesOfItem(const std::string& path) const {
  struct stat info {};
  if (path.empty() || ::lstat(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  FileType type = FileType::kOther;
  if (S_ISREG(info.st_mode)) {
    type = FileType::kRegular;
  } else if (S_ISDIR(info.st_mode)) {
    type = FileType::kDirectory;
  } else if (S_ISLNK(info.st_mode)) {
    type = FileType::kSymbolicLink;
  }
  return FileAttributes{type, info.st_uid};
}

std::optional<std::string> PosixFileManager::currentFolder() const {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::current_path(error);  // getcwd
  if (error || !folder.is_absolute()) {
    return std::nullopt;
  }
  return folder.string();
}

}  // namespace morvane
