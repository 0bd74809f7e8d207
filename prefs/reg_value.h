#pragma once

// Integer values in the preference domain of the companion remote-access application. No
// operation of the program calls these; the companion's tools, some written in C, find them in
// the executable by their plain names, so this part of the header is C as well.

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// The companion application's preference domain. Both helpers read it afresh on every call,
/// so assigning another domain takes effect at the next call; a null domain holds no values.
extern const char* QUORIX_REMOTE_REG_KEY;

/// Reads `key` of the domain into `value`.
/// False, with `value` untouched, when the key has no value, or a value that is no number:
/// text, data, a date, an array or a dictionary. A whole number beyond 32 bits is clamped to
/// the nearest end of the range; a real number is cut toward zero and clamped, and a real that
/// is not a number reads as 0; a truth value reads as 1 or 0. A null key or value reads
/// nothing. Run as root, the preferences are root's own (see userPreferences).
bool RegValueGet(const char* key, int32_t* value);

/// Stores `value` under `key` in the user's domain file.
/// Always true, also when writing failed or the key is null (then nothing is stored). A file
/// that cannot be read, or holds no property-list dictionary, is kept as it was and the failed
/// save logged.
bool RegValueSet(const char* key, int32_t value);

#ifdef __cplusplus
}

#include "platform/log.h"
#include "platform/posix/preferences_plist.h"

namespace morvane {

/// The preference files RegValueGet and RegValueSet use: the user's own, as the environment
/// names them; run as root, root's, from the password database and with no link followed.
PlistPreferences userPreferences();

/// RegValueGet in `preferences` instead of the user's own preference files.
bool regValueGet(const PlistPreferences& preferences, const char* key, std::int32_t* value);
/// RegValueSet in `preferences` instead of the user's own preference files; a save that failed
/// is written to `log`.
bool regValueSet(PlistPreferences& preferences, const char* key, std::int32_t value, Log& log);

}  // namespace morvane
#endif
