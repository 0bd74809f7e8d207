#pragma once

#include <string>

#include "platform/localizer.h"

namespace morvane {

/// gettext, domain "morvane", the English text as message id. The catalogues are looked for
/// in "locale" beside the executable (a build folder), then in the installed locale folder
/// relative to the executable (../share/locale from bin).
class GettextLocalizer final : public Localizer {
 public:
  /// `catalogueFolder` names the folder of the catalogues; empty finds it as above.
  explicit GettextLocalizer(std::string catalogueFolder = {})
      : catalogueFolder_(std::move(catalogueFolder)) {}

  std::string localizedString(const std::string& key) const override;

 private:
  void bindOnce() const;
  std::string catalogueFolder_;
  mutable bool bound_ = false;
};

}  // namespace morvane
