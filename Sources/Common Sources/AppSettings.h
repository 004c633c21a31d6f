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

// Keys of an app settings dictionary.
inline constexpr std::string_view kKeyNextAutoUpdate = "NextAutoUpdate";
inline constexpr std::string_view kKeyCredit = "Credit";
inline constexpr std::string_view kKeyReportCredit = "Report Credit";
inline constexpr std::string_view kKeyEnabled = "Enabled";
inline constexpr std::string_view kKeyAutoUpdateCoeff = "AutoUpdateCoeff";
inline constexpr std::string_view kKeyAutoUpdateValue = "AutoUpdateValue";
inline constexpr std::string_view kKeyWeCoeff = "WE Coeff";
inline constexpr std::string_view kKeyWeValue = "WE Value";
inline constexpr std::string_view kKeyWdCurfewEnabled = "WD Curfew Enabled";
inline constexpr std::string_view kKeyWeCurfewEnabled = "WE Curfew Enabled";
inline constexpr std::string_view kKeyWdStart = "WD start";
inline constexpr std::string_view kKeyWdStop = "WD stop";
inline constexpr std::string_view kKeyWeStart = "WE start";
inline constexpr std::string_view kKeyWeStop = "WE stop";
inline constexpr std::string_view kKeyDqEnabled = "DQ Enabled";
inline constexpr std::string_view kKeyDqValue = "DQ Value";

// Last minute of a day (23:59), the default end of a curfew window.
inline constexpr int32_t kDefaultWindowStop = 1439;

// A record that was never filled is all zero; one read from a dictionary,
// even an empty one, carries the defaults.
struct AppSettings {
  double next_auto_update = 0;
  int32_t credit = 0;
  bool report_credit = false;
  bool enabled = false;
  int8_t auto_update_coeff = 0;
  int32_t auto_update_value = 0;
  int8_t we_coeff = 0;
  int32_t we_value = 0;
  bool wd_curfew_enabled = false;
  bool we_curfew_enabled = false;
  int32_t wd_start = 0;
  int32_t wd_stop = 0;
  int32_t we_start = 0;
  int32_t we_stop = 0;
  bool dq_enabled = false;
  int32_t dq_value = 0;

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
