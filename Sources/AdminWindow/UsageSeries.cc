#include "UsageSeries.h"

#include <chrono>
#include <cstdio>

namespace corvane::admin {

UsageSummary Summarize(const std::vector<DayUsage>& days) {
  UsageSummary s;
  for (const DayUsage& d : days) {
    s.total += d.minutes;
    if (d.minutes > s.most) {
      s.most = d.minutes;
      s.busiest_date = d.date;
    }
  }
  if (!days.empty()) s.average = s.total / static_cast<int64_t>(days.size());
  return s;
}

DayLabel LabelOfDate(const std::string& date, UsageSpan span) {
  static const char* const kWeekdays[] = {"Admin.Weekday.Sun", "Admin.Weekday.Mon",
                                          "Admin.Weekday.Tue", "Admin.Weekday.Wed",
                                          "Admin.Weekday.Thu", "Admin.Weekday.Fri",
                                          "Admin.Weekday.Sat"};
  int y = 0, m = 0, d = 0;
  if (std::sscanf(date.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3) return {};
  std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(m)),
                                  std::chrono::day(static_cast<unsigned>(d))};
  if (!ymd.ok()) return {};
  DayLabel label;
  label.day = d;
  if (span == UsageSpan::kWeek) {
    label.weekday_key = kWeekdays[std::chrono::weekday(std::chrono::sys_days(ymd)).c_encoding()];
  }
  return label;
}

int64_t AxisTop(int64_t most) { return std::max<int64_t>(60, (most + 59) / 60 * 60); }

}  // namespace corvane::admin
