// Absolute time: seconds as a 64-bit float since 2001-01-01 00:00:00 UTC.
// Calendar values are taken in the process's default time zone (TZ).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

using AbsoluteTime = double;

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
inline constexpr double kAbsoluteTimeUnixOffset = 978307200.0;

inline AbsoluteTime AbsoluteTimeFromUnix(double unix_seconds) {
  return unix_seconds - kAbsoluteTimeUnixOffset;
}
inline double UnixFromAbsoluteTime(AbsoluteTime t) { return t + kAbsoluteTimeUnixOffset; }

struct LocalDate {
  int year = 0, month = 0, day = 0;       // month 1..12, day 1..31
  int hour = 0, minute = 0, second = 0;
  int day_of_week = 0;                    // Monday 1 .. Sunday 7
};

// Local calendar fields of `t`; none when `t` is not representable.
std::optional<LocalDate> LocalDateOf(AbsoluteTime t);
// The absolute time of a local calendar moment; none when not representable.
std::optional<AbsoluteTime> AbsoluteTimeOfLocal(int year, int month, int day, int hour, int minute,
                                                double second);

// Day of the statistics: "%i-%i-%i" of day, month, year, no leading zeros;
// "01-01-1904" when it cannot be formed.
std::string DayKey(AbsoluteTime t);
inline constexpr const char* kFallbackDayKey = "01-01-1904";

// Saturday or Sunday in the local calendar.
bool IsWeekend(AbsoluteTime t);

// Days since 1970-01-01 of a proleptic Gregorian date, and back (UTC).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day);

}  // namespace corvane
