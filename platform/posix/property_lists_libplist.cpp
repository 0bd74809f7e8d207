#include "platform/posix/property_lists_libplist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/posix/plist_bounds.h"
#include "platform/posix/read_to_end.h"
#include "platform/posix/unique_fd.h"

namespace morvane {
namespace {

/// The whole content of the regular file at `path`, when it is no larger than any list of
/// ours. The type is checked on the name without following a link, then again on the open
/// descriptor, which must be the same file: a link (to a device, a pipe, another user's file)
/// is never opened, and a file swapped in between is told apart. Opening without blocking keeps
/// a named pipe swapped in from stalling the open itself.
std::optional<std::string> readRegularFile(const std::string& path) {
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
      static_cast<std::uintmax_t>(named.st_size) > kLargestPropertyList) {
    return std::nullopt;
  }
  const UniqueFd file(
      ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  struct stat opened {};
  if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    return std::nullopt;
  }
  // The file may still grow after the checks.
  return readToEnd(file.get(), kLargestPropertyList);
}

}  // namespace

PlistNode readPropertyListFile(const std::string& path) {
  const std::optional<std::string> bytes = readRegularFile(path);
  if (!bytes || !withinPropertyListBounds(*bytes)) {
    return nullptr;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &root);
  return PlistNode(root);
}

std::optional<std::string> stringOfNode(plist_t node) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
    return std::nullopt;
  }
  std::uint64_t length = 0;
  const char* text = plist_get_string_ptr(node, &length);
  if (text == nullptr || std::string_view(text, length).find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(text, length);
}

std::optional<std::string> LibplistPropertyLists::textValue(const std::string& path,
                                                            const std::string& key) const {
  const PlistNode root = readPropertyListFile(path);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
    return std::nullopt;
  }
  return stringOfNode(plist_dict_get_item(root.get(), key.c_str()));
}

std::optional<std::string> LibplistPropertyLists::bundleVersion(
    const std::string& bundlePath) const {
  std::error_code error;
  if (!std::filesystem::is_directory(bundlePath, error)) {
    return std::nullopt;
  }
  return textValue(bundlePath + "/Contents/Info.plist", "CFBundleVersion");
}

}  // namespace morvane
