#include "platform/posix/file_manager_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "platform/posix/unique_fd.h"

namespace morvane {
namespace {

/// The lock lives as long as the descriptor it was taken on.
class FlockedFolder final : public FolderLock {
 public:
  explicit FlockedFolder(UniqueFd folder) : folder_(std::move(folder)) {}

 private:
  UniqueFd folder_;
};

}  // namespace

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

std::unique_ptr<FolderLock> PosixFileManager::lockFolder(const std::string& folder,
                                                         std::chrono::seconds patience,
                                                         const std::function<void()>& waiting) {
  UniqueFd handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
  if (handle.get() < 0) {
    // No folder, no entry of it for two passes to fight over: a removal elsewhere goes on.
    return errno == ENOENT ? std::make_unique<FolderLock>() : nullptr;
  }
  // Asked again every tenth of a second rather than blocked in flock, so the wait has an end.
  const auto until = std::chrono::steady_clock::now() + patience;
  for (bool told = false;; told = true) {
    if (::flock(handle.get(), LOCK_EX | LOCK_NB) == 0) {
      return std::make_unique<FlockedFolder>(std::move(handle));
    }
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= until) {
      return nullptr;
    }
    if (!told) {
      waiting();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace morvane
