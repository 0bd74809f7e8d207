#include "prefs/reg_value.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "platform/posix/preferences_plist.h"

const char* QUORIX_REMOTE_REG_KEY = "com.quorix.remote";

namespace {

using morvane::PreferenceValue;
using Limits = std::numeric_limits<std::int32_t>;

/// A stored value as a 32-bit integer, or none when it is no number.
struct AsInt32 {
  std::optional<std::int32_t> operator()(std::int64_t number) const {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(number, Limits::min(), Limits::max()));
  }
  std::optional<std::int32_t> operator()(double number) const {
    if (std::isnan(number)) {
      return std::nullopt;
    }
    return static_cast<std::int32_t>(
        std::clamp<double>(std::trunc(number), Limits::min(), Limits::max()));
  }
  std::optional<std::int32_t> operator()(bool truth) const { return truth ? 1 : 0; }
  std::optional<std::int32_t> operator()(const std::string&) const { return std::nullopt; }
};

/// The preference files of the user running the program, as the environment names them now.
morvane::PlistPreferences userPreferences() {
  return morvane::PlistPreferences(morvane::userConfigurationFolder(), morvane::currentHostID());
}

}  // namespace

bool RegValueGet(morvane::Preferences& preferences, const char* key, std::int32_t* value) {
  const char* domain = QUORIX_REMOTE_REG_KEY;
  if (domain == nullptr || key == nullptr || value == nullptr) {
    return false;
  }
  const std::optional<PreferenceValue> stored = preferences.copyAppValue(key, domain);
  const std::optional<std::int32_t> number = stored ? std::visit(AsInt32{}, *stored) : std::nullopt;
  if (!number) {
    return false;
  }
  *value = *number;
  return true;
}

bool RegValueSet(morvane::Preferences& preferences, const char* key, std::int32_t value) {
  const char* domain = QUORIX_REMOTE_REG_KEY;
  if (domain == nullptr || key == nullptr) {
    return true;
  }
  using morvane::PreferenceHost;
  using morvane::PreferenceUser;
  preferences.setValue(key, std::int64_t{value}, domain, PreferenceUser::kCurrentUser,
                       PreferenceHost::kAnyHost);
  // Whether the domain reached the disk is not reported.
  preferences.synchronize(domain, PreferenceUser::kCurrentUser, PreferenceHost::kAnyHost);
  return true;
}

bool RegValueGet(const char* key, std::int32_t* value) {
  morvane::PlistPreferences preferences = userPreferences();
  return RegValueGet(preferences, key, value);
}

bool RegValueSet(const char* key, std::int32_t value) {
  morvane::PlistPreferences preferences = userPreferences();
  return RegValueSet(preferences, key, value);
}
