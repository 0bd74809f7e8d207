#pragma once

#include <string>

namespace morvane {

/// The main bundle's default localization table, keyed by the English text.
class Localizer {
 public:
  virtual ~Localizer() = default;

  /// The translation of `key`, or `key` itself when the table has none.
  virtual std::string localizedString(const std::string& key) const = 0;
};

}  // namespace morvane
