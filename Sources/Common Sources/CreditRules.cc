#include "CreditRules.h"

#include <cmath>

namespace corvane {
namespace {

int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t WrappingMultiply(int32_t a, int8_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) *
                              static_cast<uint32_t>(static_cast<int32_t>(b)));
}

// A stored moment this far behind is damage, not a missed weekend; without
// a bound such a file would keep the server adding credit for millions of
// rounds. Days further back than this are skipped without being added.
constexpr double kMaxRefillRounds = 100.0 * 366.0;

}  // namespace

void RefillCredit(AppSettings* s, AbsoluteTime now,
                  const std::function<void(int32_t, int32_t)>& on_added) {
  // An infinite or NaN moment never compares later than now in a way that
  // ends, so it is left alone.
  if (s->next_auto_update != 0 && std::isfinite(s->next_auto_update) && now > s->next_auto_update) {
    double behind = now - s->next_auto_update;
    if (behind / kRefillStepSeconds > kMaxRefillRounds) {
      // Keeps the time of day of the stored moment.
      s->next_auto_update = now - kMaxRefillRounds * kRefillStepSeconds -
                          std::fmod(behind, kRefillStepSeconds);
    }
    while (now > s->next_auto_update) {
      if (!s->report_credit) s->credit = 0;
      int32_t amount = IsWeekend(s->next_auto_update)
                           ? WrappingMultiply(s->we_value, s->we_coeff)
                           : WrappingMultiply(s->auto_update_value, s->auto_update_coeff);
      s->credit = WrappingAdd(s->credit, amount);
      if (on_added) on_added(amount, s->credit);
      s->next_auto_update += kRefillStepSeconds;
    }
  }
  if (s->next_auto_update == 0) {
    auto today = LocalDateOf(now);
    std::optional<AbsoluteTime> first_second;
    if (today) first_second = AbsoluteTimeOfLocal(today->year, today->month, today->day, 0, 0, 1.0);
    if (first_second) s->next_auto_update = *first_second;
  }
}

CurfewCheck CheckCurfew(const AppSettings& s, AbsoluteTime now) {
  CurfewCheck result;
  auto local = LocalDateOf(now);
  if (!local) return result;
  int32_t m = local->hour * 60 + local->minute;
  bool weekend = local->day_of_week >= 6;
  bool enabled = weekend ? s.we_curfew_enabled : s.wd_curfew_enabled;
  result.start = weekend ? s.we_start : s.wd_start;
  result.stop = weekend ? s.we_stop : s.wd_stop;
  if (!enabled) return result;
  result.too_early = m < result.start;
  result.too_late = m >= result.stop;
  return result;
}

QuotaCheck CheckQuota(const AppSettings& global_settings, int64_t used_bytes) {
  QuotaCheck result;
  result.used_bytes = used_bytes;
  // Shifting the sign-extended value: a negative quota is below any use.
  result.allowed_bytes = static_cast<int64_t>(
      static_cast<uint64_t>(static_cast<int64_t>(global_settings.dq_value)) << 20);
  result.over = global_settings.dq_enabled && used_bytes > result.allowed_bytes;
  return result;
}

}  // namespace corvane
