#include "prefs/reg_value.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "platform/posix/log_syslog.h"
#include "platform/posix/preferences_plist.h"
#include "platform/posix/privileges_posix.h"

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
      return 0;  // a stored value all the same
    }
    return static_cast<std::int32_t>(
        std::clamp<double>(std::trunc(number), Limits::min(), Limits::max()));
  }
  std::optional<std::int32_t> operator()(bool truth) const { return truth ? 1 : 0; }
  std::optional<std::int32_t> operator()(const std::string&) const { return std::nullopt; }
};

}  // namespace

namespace morvane {

PlistPreferences userPreferences() {
  if (runsAsRoot()) {
    return PlistPreferences(rootConfigurationFolder(), /*followLinks=*/false);
  }
  return PlistPreferences(userConfigurationFolder());
}

bool regValueGet(const PlistPreferences& preferences, const char* key, std::int32_t* value) {
  const char* domain = QUORIX_REMOTE_REG_KEY;
  if (domain == nullptr || key == nullptr || value == nullptr) {
    return false;
  }
  const std::optional<PreferenceValue> stored = preferences.value(key, domain);
  const std::optional<std::int32_t> number = stored ? std::visit(AsInt32{}, *stored) : std::nullopt;
  if (!number) {
    return false;
  }
  *value = *number;
  return true;
}

bool regValueSet(PlistPreferences& preferences, const char* key, std::int32_t value, Log& log) {
  const char* domain = QUORIX_REMOTE_REG_KEY;
  if (domain == nullptr || key == nullptr) {
    return true;
  }
  // Whether the domain reached the disk is not reported to the caller, only logged.
  if (!preferences.save(key, std::int64_t{value}, domain)) {
    log.write(std::string("Preference ") + key + " not saved: the file of " + domain +
              " cannot be read or written, and is left as it was.");
  }
  return true;
}

}  // namespace morvane

bool RegValueGet(const char* key, int32_t* value) {
  morvane::PlistPreferences preferences = morvane::userPreferences();
  return morvane::regValueGet(preferences, key, value);
}

bool RegValueSet(const char* key, int32_t value) {
  morvane::PlistPreferences preferences = morvane::userPreferences();
  morvane::SyslogLog log;
  return morvane::regValueSet(preferences, key, value, log);
}
