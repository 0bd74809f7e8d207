#pragma once

#include <plist/plist.h>

#include <memory>
#include <string>
#include <type_traits>

#include "platform/property_lists.h"

namespace morvane {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
/// An owned libplist node tree.
using PlistNode = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

/// The top-level node of the property-list file at `path`, XML or binary. Null when `path` is
/// not a regular file, cannot be read, or does not hold a property list.
PlistNode readPropertyListFile(const std::string& path);

/// The text of the string node `node`. None for another type of node, and for a text that holds
/// a NUL byte: no C string carries it whole, and libplist stops the process when asked for it
/// as one.
std::optional<std::string> stringOfNode(plist_t node);

/// libplist: XML and binary property lists alike.
class LibplistPropertyLists final : public PropertyLists {
 public:
  std::optional<std::string> textValue(const std::string& path,
                                       const std::string& key) const override;
  std::optional<std::string> bundleVersion(const std::string& bundlePath) const override;
};

}  // namespace morvane
