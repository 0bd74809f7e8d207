#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace morvane {

/// A stored preference value: a whole number, a real number, a truth value or text.
using PreferenceValue = std::variant<std::int64_t, double, bool, std::string>;

enum class PreferenceUser { kCurrentUser };
enum class PreferenceHost { kCurrentHost, kAnyHost };

/// Preference domains of the current user. A value for the current host is found before one
/// for any host.
class Preferences {
 public:
  virtual ~Preferences() = default;

  virtual std::optional<PreferenceValue> copyAppValue(const std::string& key,
                                                      const std::string& domain) = 0;
  virtual void setValue(const std::string& key, const PreferenceValue& value,
                        const std::string& domain, PreferenceUser user, PreferenceHost host) = 0;
  /// Writes what was set for the domain out; false when that failed.
  virtual bool synchronize(const std::string& domain, PreferenceUser user, PreferenceHost host) = 0;
};

}  // namespace morvane
