// The system's preference domain "com.quarlant.corvane5" for any user on the
// current host, kept in its own plist file below the root. Reads go to the
// file every time; sets are held until SynchronizePreferences writes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "Plist.h"

namespace corvane {

std::optional<Plist> CopyPreference(std::string_view key);
// A value of none removes the key at the next synchronisation.
void SetPreference(std::string_view key, std::optional<Plist> value);
// Writes pending sets into the file atomically; true on success.
bool SynchronizePreferences();

// The integer value of a string as the platform reads it: leading blanks, an
// optional sign, then decimal digits; 0 when there are none. Saturates at the
// 32-bit bounds.
int32_t StringIntValue(std::string_view text);

// A flag is stored as a string and is true when its integer value is not 0
// (a number or boolean stored in its place is read by its value).
bool PreferenceFlag(std::string_view key, bool default_value);
// The integer value of a string (or number) preference; none when absent.
std::optional<int32_t> PreferenceInteger(std::string_view key);

}  // namespace corvane
