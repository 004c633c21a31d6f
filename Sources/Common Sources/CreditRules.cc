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
  if (s->NextAutoUpdate != 0 && std::isfinite(s->NextAutoUpdate) && now > s->NextAutoUpdate) {
    double behind = now - s->NextAutoUpdate;
    if (behind / kRefillStepSeconds > kMaxRefillRounds) {
      // Keeps the time of day of the stored moment.
      s->NextAutoUpdate = now - kMaxRefillRounds * kRefillStepSeconds -
                          std::fmod(behind, kRefillStepSeconds);
    }
    while (now > s->NextAutoUpdate) {
      if (!s->ReportCredit) s->Credit = 0;
      int32_t amount = IsWeekend(s->NextAutoUpdate)
                           ? WrappingMultiply(s->WeValue, s->WeCoeff)
                           : WrappingMultiply(s->AutoUpdateValue, s->AutoUpdateCoeff);
      s->Credit = WrappingAdd(s->Credit, amount);
      if (on_added) on_added(amount, s->Credit);
      s->NextAutoUpdate += kRefillStepSeconds;
    }
  }
  if (s->NextAutoUpdate == 0) {
    auto today = LocalDateOf(now);
    std::optional<AbsoluteTime> first_second;
    if (today) first_second = AbsoluteTimeOfLocal(today->year, today->month, today->day, 0, 0, 1.0);
    if (first_second) s->NextAutoUpdate = *first_second;
  }
}

CurfewCheck CheckCurfew(const AppSettings& s, AbsoluteTime now) {
  CurfewCheck result;
  auto local = LocalDateOf(now);
  if (!local) return result;
  int32_t m = local->hour * 60 + local->minute;
  bool weekend = local->day_of_week >= 6;
  bool enabled = weekend ? s.WeCurfewEnabled : s.WdCurfewEnabled;
  result.start = weekend ? s.WeStart : s.WdStart;
  result.stop = weekend ? s.WeStop : s.WdStop;
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
      static_cast<uint64_t>(static_cast<int64_t>(global_settings.DqValue)) << 20);
  result.over = global_settings.DqEnabled && used_bytes > result.allowed_bytes;
  return result;
}

}  // namespace corvane
