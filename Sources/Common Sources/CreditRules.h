// The rules that turn an AppSettings record into decisions: the daily
// refill of the credit, the curfew window and the disk quota. Shared by the
// server (refill) and the agent and statistics tool (curfew, quota).
#pragma once

#include <cstdint>
#include <functional>

#include "AbsoluteTime.h"
#include "AppSettings.h"

namespace corvane {

// A refill step is one calendar day in UTC, i.e. exactly this long.
inline constexpr double kRefillStepSeconds = 86400.0;

// Runs the refill of one record at `now`: while `now` is strictly later than
// NextAutoUpdate (not 0), the credit is reset unless carried over, the
// amount of that moment's day (weekday or weekend) is added, `on_added` is
// told the amount and the new credit, and NextAutoUpdate moves on a day.
// A NextAutoUpdate of 0 is set to today 00:00:01 local time, adding nothing.
// Credit arithmetic wraps as 32-bit integers do.
void RefillCredit(AppSettings* s, AbsoluteTime now,
                  const std::function<void(int32_t amount, int32_t credit)>& on_added);

struct CurfewCheck {
  bool too_early = false;  // before `start`
  bool too_late = false;   // at or after `stop`
  int32_t start = 0;
  int32_t stop = 0;
};

// The window of the day of `now` (weekday or weekend); no violation when its
// flag is off. The allowed minutes are start <= m < stop.
CurfewCheck CheckCurfew(const AppSettings& s, AbsoluteTime now);

struct QuotaCheck {
  bool over = false;
  int64_t used_bytes = 0;
  int64_t allowed_bytes = 0;
};

// The quota test of the user-wide record: over when `used_bytes` is above
// DqValue MiB; never over when the quota is not enabled.
QuotaCheck CheckQuota(const AppSettings& global_settings, int64_t used_bytes);

}  // namespace corvane
