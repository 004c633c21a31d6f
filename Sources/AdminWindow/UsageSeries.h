// What the usage page draws and says about a span of days from GetStats:
// the bars' labels, the total line and the largest bar.
#pragma once

#include <string>
#include <vector>

#include "AdminReport.h"

namespace corvane::admin {

enum class UsageSpan { kWeek = 7, kMonth = 30 };

struct UsageSummary {
  int64_t total = 0;
  int64_t average = 0;  // whole minutes per day, rounded down
  int64_t most = 0;
  std::string busiest_date;  // "" when nothing was used
};
UsageSummary Summarize(const std::vector<DayUsage>& days);

// The label under a bar: the weekday's catalogue key and the day of the
// month for a week ("Admin.Weekday.Mon", "7"), the day alone for a month.
struct DayLabel {
  const char* weekday_key = "";  // "" for a month
  int day = 0;
};
DayLabel LabelOfDate(const std::string& date, UsageSpan span);

// The top of the minutes axis: whole hours, at least one.
int64_t AxisTop(int64_t most);

}  // namespace corvane::admin
