#pragma once

// Integer values in the preference domain of the companion remote-access application. No
// operation of the program calls these; they are kept for the companion's tools.

#include <cstdint>

#include "platform/preferences.h"

/// The companion application's preference domain. Both helpers read it afresh on every call,
/// so assigning another domain takes effect at the next call; a null domain holds no values.
extern const char* QUORIX_REMOTE_REG_KEY;

/// Reads `key` of the domain, for the current host first and then for any host, into `value`.
/// False, with `value` untouched, when the key has no value, or a value that is no number:
/// text, data, a date, an array or a dictionary. A whole number beyond 32 bits is clamped to
/// the nearest end of the range; a real number is cut toward zero and clamped (not a number
/// counts as no value); a truth value reads as 1 or 0. A null key or value reads nothing.
bool RegValueGet(const char* key, std::int32_t* value);
/// The same, in `preferences` instead of the user's own preference files.
bool RegValueGet(morvane::Preferences& preferences, const char* key, std::int32_t* value);

/// Stores `value` under `key` for the current user and any host and writes the domain out.
/// Always true, also when writing failed or the key is null (then nothing is stored).
bool RegValueSet(const char* key, std::int32_t value);
/// The same, in `preferences` instead of the user's own preference files.
bool RegValueSet(morvane::Preferences& preferences, const char* key, std::int32_t value);
