#include "platform/posix/property_lists_libplist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <limits>

#include "platform/posix/read_to_end.h"
#include "platform/posix/unique_fd.h"

namespace morvane {
namespace {

struct MallocFree {
  void operator()(char* text) const { std::free(text); }
};

/// The whole content of the regular file at `path`. The type is tested on the open
/// descriptor, so a folder or a device swapped in after a path check is never read; opening
/// without blocking keeps a named pipe from stalling the open itself.
std::optional<std::string> readRegularFile(const std::string& path) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat status {};
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  // libplist takes a 32-bit length: a longer file is no property list of ours.
  constexpr auto kLongest = std::numeric_limits<std::uint32_t>::max();
  if (static_cast<std::uintmax_t>(status.st_size) > kLongest) {
    return std::nullopt;
  }
  std::optional<std::string> bytes = readToEnd(file.get());
  if (!bytes || bytes->size() > kLongest) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

PlistNode readPropertyListFile(const std::string& path) {
  const std::optional<std::string> bytes = readRegularFile(path);
  if (!bytes || bytes->empty()) {
    return nullptr;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &root);
  return PlistNode(root);
}

std::optional<std::string> LibplistPropertyLists::textValue(const std::string& path,
                                                            const std::string& key) const {
  const PlistNode root = readPropertyListFile(path);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
    return std::nullopt;
  }
  plist_t value = plist_dict_get_item(root.get(), key.c_str());
  if (value == nullptr || plist_get_node_type(value) != PLIST_STRING) {
    return std::nullopt;
  }
  char* raw = nullptr;
  plist_get_string_val(value, &raw);
  const std::unique_ptr<char, MallocFree> text(raw);
  if (!text) {
    return std::nullopt;
  }
  return std::string(text.get());
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
