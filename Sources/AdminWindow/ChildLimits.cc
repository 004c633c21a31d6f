#include "ChildLimits.h"

#include <algorithm>

#include "AdminUnits.h"

namespace corvane::admin {
namespace {

int32_t DayMinutes(int64_t minutes) {
  return static_cast<int32_t>(std::clamp<int64_t>(minutes, 0, INT32_MAX));
}

ClockRange RangeOf(bool on, int32_t start, int32_t stop) { return {on, start, stop}; }

std::optional<Window> WindowOf(const ClockRange& r) {
  if (!r.on) return std::nullopt;
  return Window{r.start, r.stop};
}

bool RangeIsSound(const ClockRange& r) {
  return !r.on || (r.start >= 0 && r.start < r.stop && r.stop <= kMaxDayMinutes);
}

}  // namespace

LimitsKind KindOfApp(const std::string& app) {
  if (app == kComputerAppKey) return LimitsKind::kComputer;
  if (app == kGlobalSettingsAppKey) return LimitsKind::kAccount;
  return LimitsKind::kApplication;
}

ChildLimits LimitsOfSettings(const AppSettings& s) {
  ChildLimits l;
  l.watched = s.enabled;
  l.credit = std::max(0, s.credit);
  l.weekday_minutes = DayMinutes(RefillMinutes(s.auto_update_value, s.auto_update_coeff));
  l.weekend_minutes = DayMinutes(RefillMinutes(s.we_value, s.we_coeff));
  l.carry_over = s.report_credit;
  l.weekday_curfew = RangeOf(s.wd_curfew_enabled, s.wd_start, s.wd_stop);
  l.weekend_curfew = RangeOf(s.we_curfew_enabled, s.we_start, s.we_stop);
  l.quota_on = s.dq_enabled;
  bool whole_gb = s.dq_value > 0 && s.dq_value % 1024 == 0;
  l.quota_unit = whole_gb ? SizeUnit::kGB : SizeUnit::kMB;
  l.quota = whole_gb ? s.dq_value / 1024 : std::max(0, s.dq_value);
  return l;
}

int64_t QuotaMegabytes(const ChildLimits& l) {
  return static_cast<int64_t>(l.quota) * (l.quota_unit == SizeUnit::kGB ? 1024 : 1);
}

SettingsChanges ChangesOfLimits(const ChildLimits& l, LimitsKind kind) {
  SettingsChanges c;
  if (kind == LimitsKind::kAccount) {
    c.quota_mb = l.quota_on ? std::optional<int32_t>(static_cast<int32_t>(QuotaMegabytes(l)))
                            : std::nullopt;
    return c;
  }
  c.enabled = l.watched;
  c.credit = l.credit;
  c.weekday_refill = l.weekday_minutes;
  c.weekend_refill = l.weekend_minutes;
  c.carry_over = l.carry_over;
  c.weekday_curfew = WindowOf(l.weekday_curfew);
  c.weekend_curfew = WindowOf(l.weekend_curfew);
  return c;
}

std::vector<const char*> CheckLimits(const ChildLimits& l, LimitsKind kind) {
  std::vector<const char*> wrong;
  if (kind == LimitsKind::kAccount) {
    if (l.quota_on && (l.quota <= 0 || QuotaMegabytes(l) > kMaxQuotaMB)) {
      wrong.push_back("Admin.Check.Quota");
    }
    return wrong;
  }
  if (l.credit < 0 || l.credit > kMaxDayMinutes * 7) wrong.push_back("Admin.Check.Credit");
  for (int32_t m : {l.weekday_minutes, l.weekend_minutes}) {
    if (m < 0 || m > kMaxDayMinutes) {
      wrong.push_back("Admin.Check.Allowance");
      break;
    }
  }
  if (!RangeIsSound(l.weekday_curfew)) wrong.push_back("Admin.Check.WeekdayCurfew");
  if (!RangeIsSound(l.weekend_curfew)) wrong.push_back("Admin.Check.WeekendCurfew");
  return wrong;
}

}  // namespace corvane::admin
