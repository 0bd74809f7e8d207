#pragma once

#include "platform/property_lists.h"

namespace morvane {

/// libplist: XML and binary property lists alike.
class LibplistPropertyLists final : public PropertyLists {
 public:
  std::optional<std::string> textValue(const std::string& path,
                                       const std::string& key) const override;
  std::optional<std::string> bundleVersion(const std::string& bundlePath) const override;
};

}  // namespace morvane
