#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace morvane {

/// What an entry is, seen without following a link at its end.
enum class FileType { kRegular, kDirectory, kSymbolicLink, kOther };

/// The facts about an entry that the trust rules look at.
struct FileAttributes {
  FileType type = FileType::kOther;
  uid_t ownerAccountID = 0;
};

/// A lock that is held while this object lives.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

/// The file questions the operations ask: existence, directory, executability, attributes.
class FileManager {
 public:
  virtual ~FileManager() = default;

  /// True when a file or a folder exists at `path`; `isDirectory`, when given, tells which.
  virtual bool fileExists(const std::string& path, bool* isDirectory = nullptr) const = 0;

  /// True only when a file exists at `path` and this process may execute it.
  virtual bool isExecutableFile(const std::string& path) const = 0;

  /// The type and owner of the entry at `path` itself: a link at its end is not followed, so
  /// a link is an entry even when it points nowhere. None when nothing is there.
  virtual std::optional<FileAttributes> attributesOfItem(const std::string& path) const = 0;

  /// The process's working folder as the system knows it (not as $PWD claims it), links left
  /// as they are; none when it cannot be named, for example after it was removed.
  virtual std::optional<std::string> currentFolder() const = 0;

  /// An exclusive lock on `folder`, shared by every process of the machine that asks for the
  /// same, taken within `patience`; `waiting` is called once when it is not free at once. Null
  /// when it was not taken in time or the folder cannot be opened; a folder that is not there
  /// needs no lock.
  virtual std::unique_ptr<FolderLock> lockFolder(const std::string& folder,
                                                 std::chrono::seconds patience,
                                                 const std::function<void()>& waiting) = 0;
};

}  // namespace morvane
