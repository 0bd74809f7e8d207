#include "platform/property_lists_libplist.h"

#include <plist/plist.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

namespace morvane {
namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

struct MallocFree {
  void operator()(char* text) const { std::free(text); }
};

/// The file's top-level node, or null when it is not a property list.
PlistNode readPropertyList(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return nullptr;
  }
  std::ifstream file(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (!file.good() && !file.eof()) {
    return nullptr;
  }
  if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    return nullptr;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  return PlistNode(root);
}

}  // namespace

std::optional<std::string> LibplistPropertyLists::textValue(const std::string& path,
                                                            const std::string& key) const {
  const PlistNode root = readPropertyList(path);
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
