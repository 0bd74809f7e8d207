#include "platform/posix/preferences_plist.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/posix/plist_bounds.h"
#include "platform/posix/property_lists_libplist.h"
#include "platform/posix/read_to_end.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/write_all.h"

namespace morvane {
namespace {

namespace fs = std::filesystem;

/// `text` with every byte outside [A-Za-z0-9._-] written as %XX.
std::string fileNamePiece(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string piece;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte == '.' || byte == '_' || byte == '-';
    if (plain) {
      piece += c;
    } else {
      piece += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
  return piece;
}

std::optional<PreferenceValue> fromNode(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_UINT: {
      // Version 2.2 keeps every integer as 64 unsigned bits; a negative number comes back as
      // its two's complement.
      std::uint64_t number = 0;
      plist_get_uint_val(node, &number);
      return static_cast<std::int64_t>(number);
    }
    case PLIST_REAL: {
      double number = 0;
      plist_get_real_val(node, &number);
      return number;
    }
    case PLIST_BOOLEAN: {
      std::uint8_t truth = 0;
      plist_get_bool_val(node, &truth);
      return truth != 0;
    }
    case PLIST_STRING: {
      const std::optional<std::string> text = stringOfNode(node);
      return text ? std::optional<PreferenceValue>(*text) : std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

plist_t toNode(const PreferenceValue& value) {
  struct Maker {
    plist_t operator()(std::int64_t number) const {
      return plist_new_uint(static_cast<std::uint64_t>(number));
    }
    plist_t operator()(double number) const { return plist_new_real(number); }
    plist_t operator()(bool truth) const { return plist_new_bool(truth ? 1 : 0); }
    plist_t operator()(const std::string& text) const { return plist_new_string(text.c_str()); }
  };
  return std::visit(Maker{}, value);
}

PlistNode emptyDictionary() {
  return PlistNode(plist_new_dict());
}

/// The dictionary that `bytes` hold, or none when they hold anything else or lie beyond the
/// bounds of every list we read.
std::optional<PlistNode> parseDictionary(const std::string& bytes) {
  if (!withinPropertyListBounds(bytes)) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  PlistNode dictionary(root);
  if (!dictionary || plist_get_node_type(dictionary.get()) != PLIST_DICT) {
    return std::nullopt;
  }
  return dictionary;
}

/// The dictionary of `file`, or a new empty one when the file is missing or empty. None when
/// it is there but cannot be read (no permission, an I/O error, no descriptor left, a link where
/// links are refused, not a regular file), and when it holds anything but a property-list
/// dictionary within the bounds of every list we read. Such a file is kept rather than replaced
/// by the next save: it may be one the user edited by hand and got wrong, and a careful user
/// would rather see a save fail than find every other value of the domain gone.
std::optional<PlistNode> readDictionary(const fs::path& file, bool followLinks) {
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
  const UniqueFd handle(::open(file.c_str(), flags));
  if (handle.get() < 0) {
    return errno == ENOENT ? std::optional(emptyDictionary()) : std::nullopt;
  }
  struct stat facts {};
  if (::fstat(handle.get(), &facts) != 0 || !S_ISREG(facts.st_mode) ||
      static_cast<std::size_t>(facts.st_size) > kLargestPropertyList) {
    return std::nullopt;
  }
  // The file may still grow after the check.
  const std::optional<std::string> bytes = readToEnd(handle.get(), kLargestPropertyList);
  if (!bytes) {
    return std::nullopt;
  }
  return bytes->empty() ? std::optional(emptyDictionary()) : parseDictionary(*bytes);
}

/// An exclusive lock on the domain file's sibling ".NAME.lock", held from before the file is
/// read until its replacement is in place, so that processes saving the same domain at once
/// take turns and none writes back a dictionary without another's new key. The domain file
/// itself cannot carry the lock: each save renames a new file over it.
class DomainLock {
 public:
  explicit DomainLock(const fs::path& file)
      : handle_(::open(lockFile(file).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW,
                       0600)) {
    int status = -1;
    do {
      status = handle_.get() < 0 ? 0 : ::flock(handle_.get(), LOCK_EX);
    } while (status != 0 && errno == EINTR);
    held_ = handle_.get() >= 0 && status == 0;
  }
  /// False when the lock file cannot be opened or locked.
  bool held() const { return held_; }

 private:
  static fs::path lockFile(const fs::path& file) {
    return file.parent_path() / ("." + file.filename().string() + ".lock");
  }

  UniqueFd handle_;  // closing it releases the lock
  bool held_ = false;
};

/// True when no entry from `folder` down to `file` is a link; entries not made yet count as
/// none.
bool noLinkOnTheWay(const fs::path& folder, const fs::path& file) {
  fs::path at = folder;
  for (const fs::path& piece : file.lexically_relative(folder)) {
    struct stat facts {};
    if (::lstat(at.c_str(), &facts) == 0 && S_ISLNK(facts.st_mode)) {
      return false;
    }
    at /= piece;
  }
  struct stat facts {};
  return ::lstat(at.c_str(), &facts) != 0 || !S_ISLNK(facts.st_mode);
}

std::optional<std::string> toXml(plist_t root) {
  char* raw = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(root, &raw, &length);
  const std::unique_ptr<char, decltype(&plist_to_xml_free)> xml(raw, &plist_to_xml_free);
  if (!xml) {
    return std::nullopt;
  }
  return std::string(xml.get(), length);
}

/// Makes a finished rename survive a crash of the machine; a failure only loses durability.
void syncFolder(const fs::path& folder) {
  UniqueFd handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (handle.get() >= 0) {
    ::fsync(handle.get());
  }
}

/// Replaces `file` with `bytes`: written and flushed to a new file beside it first, then
/// renamed over it, so a reader sees the old content or the new, never a part.
bool replaceFile(const fs::path& file, std::string_view bytes) {
  std::string name = ".";
  name += file.filename().string();
  name += ".XXXXXX";
  std::string temporary = (file.parent_path() / name).string();
  UniqueFd handle(::mkostemp(temporary.data(), O_CLOEXEC));
  if (handle.get() < 0) {
    return false;
  }
  const bool written = writeAll(handle.get(), bytes) && ::fsync(handle.get()) == 0;
  if (!handle.close() || !written || ::rename(temporary.c_str(), file.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  syncFolder(file.parent_path());
  return true;
}

}  // namespace

PlistPreferences::PlistPreferences(fs::path configurationFolder, bool followLinks)
    : folder_(std::move(configurationFolder)), followLinks_(followLinks) {}

std::optional<PlistNode> PlistPreferences::read(const fs::path& file) const {
  if (!followLinks_ && !noLinkOnTheWay(folder_, file)) {
    return std::nullopt;
  }
  return readDictionary(file, followLinks_);
}

std::optional<fs::path> PlistPreferences::domainFile(const std::string& domain) const {
  if (folder_.empty() || domain.empty()) {
    return std::nullopt;
  }
  return folder_ / "morvane" / "preferences" / (fileNamePiece(domain) + ".plist");
}

std::optional<PreferenceValue> PlistPreferences::value(const std::string& key,
                                                       const std::string& domain) const {
  const std::optional<fs::path> file = domainFile(domain);
  const std::optional<PlistNode> root = file ? read(*file) : std::nullopt;
  plist_t node = root ? plist_dict_get_item(root->get(), key.c_str()) : nullptr;
  return node != nullptr ? fromNode(node) : std::nullopt;
}

bool PlistPreferences::save(const std::string& key, const PreferenceValue& value,
                            const std::string& domain) {
  const std::optional<fs::path> file = domainFile(domain);
  if (!file) {
    return false;
  }
  if (!followLinks_ && !noLinkOnTheWay(folder_, *file)) {
    return false;  // before the folders and the lock file are made through a link
  }
  std::error_code error;
  fs::create_directories(file->parent_path(), error);
  const DomainLock lock(*file);
  const std::optional<PlistNode> root = error || !lock.held() ? std::nullopt : read(*file);
  if (!root) {
    return false;
  }
  plist_dict_set_item(root->get(), key.c_str(), toNode(value));
  const std::optional<std::string> xml = toXml(root->get());
  return xml && replaceFile(*file, *xml);
}

fs::path rootConfigurationFolder() {
  const struct passwd* root = ::getpwuid(::geteuid());
  if (root == nullptr || root->pw_dir == nullptr || root->pw_dir[0] != '/') {
    return {};
  }
  return fs::path(root->pw_dir) / ".config";
}

fs::path userConfigurationFolder() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') {
    return configHome;
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    return fs::path(home) / ".config";
  }
  return {};
}

}  // namespace morvane
