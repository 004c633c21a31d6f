// The limits of one child for one application as the window's editors hold
// them, and the checks a parent's entries must pass before anything is sent.
// No Qt here: the window only moves these values in and out of widgets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AdminCommandLine.h"
#include "AppSettings.h"

namespace corvane::admin {

// What an application key stands for in the window.
enum class LimitsKind {
  kComputer,     // the whole computer: credit, allowances, curfews
  kAccount,      // the user-wide settings: only the disk quota
  kApplication,  // one application: credit, allowances, curfews
};
LimitsKind KindOfApp(const std::string& app);

// An allowed daily time range, minutes since midnight.
struct ClockRange {
  bool on = false;
  int32_t start = 0;
  int32_t stop = kDefaultWindowStop;
};

enum class SizeUnit { kMB, kGB };

struct ChildLimits {
  bool watched = false;
  int32_t credit = 0;  // minutes left today
  int32_t weekday_minutes = 0;
  int32_t weekend_minutes = 0;
  bool carry_over = false;
  ClockRange weekday_curfew;
  ClockRange weekend_curfew;
  bool quota_on = false;
  int32_t quota = 0;  // in `quota_unit`
  SizeUnit quota_unit = SizeUnit::kMB;
};

// The most an allowance or a credit may be: a whole day.
inline constexpr int32_t kMaxDayMinutes = 24 * 60;
// The largest quota an editor offers: 16 TB.
inline constexpr int32_t kMaxQuotaMB = 16 * 1024 * 1024;

// The editors' values for a record the server sent. A quota of whole
// gigabytes is shown in GB.
ChildLimits LimitsOfSettings(const AppSettings& s);

// The changes that turn the server's record into what the editors hold: for
// the user-wide settings only the quota, for the others everything else.
SettingsChanges ChangesOfLimits(const ChildLimits& limits, LimitsKind kind);

// Message keys of what is wrong with the entries (empty when they may be
// sent): a curfew that does not start before it ends, an allowance over a
// day, a quota of nothing or more than the editors offer.
std::vector<const char*> CheckLimits(const ChildLimits& limits, LimitsKind kind);

// The quota in mebibytes.
int64_t QuotaMegabytes(const ChildLimits& limits);

// The amounts of the grant buttons, in minutes.
inline constexpr int32_t kGrantSteps[] = {15, 30, 60};

}  // namespace corvane::admin
