#include "AbsoluteTime.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace corvane {

std::optional<LocalDate> LocalDateOf(AbsoluteTime t) {
  double unix_seconds = std::floor(UnixFromAbsoluteTime(t));
  if (!std::isfinite(unix_seconds) || std::fabs(unix_seconds) > 1e15) return std::nullopt;
  time_t tt = static_cast<time_t>(unix_seconds);
  struct tm tm;
  if (localtime_r(&tt, &tm) == nullptr) return std::nullopt;
  LocalDate d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.hour = tm.tm_hour;
  d.minute = tm.tm_min;
  d.second = tm.tm_sec;
  d.day_of_week = tm.tm_wday == 0 ? 7 : tm.tm_wday;
  return d;
}

std::optional<AbsoluteTime> AbsoluteTimeOfLocal(int year, int month, int day, int hour, int minute,
                                                double second) {
  struct tm tm = {};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = 0;
  tm.tm_isdst = -1;
  errno = 0;
  time_t tt = mktime(&tm);
  if (tt == static_cast<time_t>(-1) && errno != 0) return std::nullopt;
  return AbsoluteTimeFromUnix(static_cast<double>(tt) + second);
}

std::string DayKey(AbsoluteTime t) {
  auto d = LocalDateOf(t);
  if (!d) return kFallbackDayKey;
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%i-%i-%i", d->day, d->month, d->year);
  if (n <= 0 || n >= static_cast<int>(sizeof buf)) return kFallbackDayKey;
  return buf;
}

bool IsWeekend(AbsoluteTime t) {
  auto d = LocalDateOf(t);
  return d && d->day_of_week >= 6;
}

// Howard Hinnant's civil-date algorithms.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* year, unsigned* month, unsigned* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = y + (*month <= 2);
}

}  // namespace corvane
