// The settings of one user for one application: the keys of an app settings
// dictionary, the AppSettings record read from it with fixed defaults, and
// the 43-byte packed form carried on the wire.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "Plist.h"

namespace corvane {

// Application keys with a meaning of their own.
inline constexpr std::string_view kComputerAppKey = "com.apple.loginwindow";
inline constexpr std::string_view kGlobalSettingsAppKey = "com.quarlant.globalSettings";
// Every program with a window that no desktop entry names.
inline constexpr std::string_view kOtherAppsKey = "com.quarlant.otherApps";
inline constexpr std::string_view kStatsKey = "Stats";

// Last minute of a day (23:59), the default end of a curfew window.
inline constexpr int32_t kDefaultWindowStop = 1439;

// The sixteen fields of an app settings record, each once: name (of its key
// constant, kKey<name>), struct member, dictionary key, type, the value a
// read gives when the key is missing, and the byte offset in the packed
// record. The
// order is the order of the struct and of the keys in a newly written
// dictionary; the packed record has its own order, given by the offsets.
// The type fixes the rest: a bool is a plist boolean and one packed byte, an
// int8_t or int32_t a plist integer of that width and 1 or 4 packed bytes,
// the double a plist real and the low 32 bits of its whole seconds.
#define CORVANE_APP_SETTINGS_FIELDS(X)                                                \
  X(NextAutoUpdate, next_auto_update, "NextAutoUpdate", double, 0, 0)                 \
  X(Credit, credit, "Credit", int32_t, 0, 8)                                          \
  X(ReportCredit, report_credit, "Report Credit", bool, false, 32)                    \
  X(Enabled, enabled, "Enabled", bool, false, 31)                                     \
  X(AutoUpdateCoeff, auto_update_coeff, "AutoUpdateCoeff", int8_t, 0, 12)             \
  X(AutoUpdateValue, auto_update_value, "AutoUpdateValue", int32_t, 0, 4)             \
  X(WeCoeff, we_coeff, "WE Coeff", int8_t, 0, 33)                                     \
  X(WeValue, we_value, "WE Value", int32_t, 0, 34)                                    \
  X(WdCurfewEnabled, wd_curfew_enabled, "WD Curfew Enabled", bool, false, 13)         \
  X(WeCurfewEnabled, we_curfew_enabled, "WE Curfew Enabled", bool, false, 14)         \
  X(WdStart, wd_start, "WD start", int32_t, 0, 15)                                    \
  X(WdStop, wd_stop, "WD stop", int32_t, kDefaultWindowStop, 19)                      \
  X(WeStart, we_start, "WE start", int32_t, 0, 23)                                    \
  X(WeStop, we_stop, "WE stop", int32_t, kDefaultWindowStop, 27)                      \
  X(DqEnabled, dq_enabled, "DQ Enabled", bool, false, 38)                             \
  X(DqValue, dq_value, "DQ Value", int32_t, 0, 39)

// Keys of an app settings dictionary.
#define CORVANE_APP_SETTINGS_KEY(name, member, key, type, read_default, offset) \
  inline constexpr std::string_view kKey##name = key;
CORVANE_APP_SETTINGS_FIELDS(CORVANE_APP_SETTINGS_KEY)
#undef CORVANE_APP_SETTINGS_KEY

// A record that was never filled is all zero; one read from a dictionary,
// even an empty one, carries the defaults.
struct AppSettings {
#define CORVANE_APP_SETTINGS_MEMBER(name, member, key, type, read_default, offset) \
  type member = type{};
  CORVANE_APP_SETTINGS_FIELDS(CORVANE_APP_SETTINGS_MEMBER)
#undef CORVANE_APP_SETTINGS_MEMBER

  bool operator==(const AppSettings&) const = default;
};

// Fills *out from an app settings dictionary: every present key with the
// width of its type, 1439 for missing window ends, and "AutoUpdateCoeff"
// forced to 1 unless it is 60. Nothing is filled when `dict` is null or not a
// dictionary, or `out` is null.
void ReadAppSettings(const Plist* dict, AppSettings* out);

// The app settings dictionary of user and app, or null (borrowed).
const Plist* FindAppSettings(const PlistDictionary& settings, std::string_view user,
                             std::string_view app);
Plist* FindAppSettings(PlistDictionary& settings, std::string_view user, std::string_view app);

// Finds or creates the user and app levels (replacing a level of another type
// by an empty dictionary) and sets all sixteen keys from `s`; other keys of
// the app dictionary stay. Does nothing when `settings` is null.
void StoreAppSettings(PlistDictionary* settings, std::string_view user, std::string_view app,
                      const AppSettings& s);

inline constexpr size_t kPackedSettingsSize = 43;

// Appends the 43-byte packed record of `s` to *buffer.
void AppendPackedSettings(const AppSettings& s, std::vector<uint8_t>* buffer);
// User string field, app string field, packed record: the payload of
// SaveCredit and MinuteUsed.
std::vector<uint8_t> PackAppSettings(std::string_view user, std::string_view app,
                                     const AppSettings& s);
// Reads the packed record at `offset`, field by field without defaults.
// False (and *out untouched) when the record would run past the buffer.
bool UnpackAppSettings(std::span<const uint8_t> buffer, size_t offset, AppSettings* out);

}  // namespace corvane
