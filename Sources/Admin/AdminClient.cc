#include "AdminClient.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>

#include "AbsoluteTime.h"

namespace corvane::admin {
namespace {

Bytes UserApp(const std::string& user, const std::string& app) {
  Bytes payload;
  AppendStringField(&payload, user);
  AppendStringField(&payload, app);
  return payload;
}

// Settings as a read-back returns them: the server keeps any refill unit but
// hours as minutes.
AppSettings Comparable(AppSettings s) {
  if (s.auto_update_coeff != 60) s.auto_update_coeff = 1;
  return s;
}

}  // namespace

std::optional<Plist> AdminClient::Ask(uint8_t command, const Bytes& payload, bool want_array) {
  error_.clear();
  std::optional<Plist> reply;
  int status = t_.Send(command, payload, true, &reply);
  reached_ = status == 0;
  if (status != 0) {
    error_ = "cannot reach the Corvane server (status " + std::to_string(status) + ")";
    return std::nullopt;
  }
  if (!reply || (want_array ? !reply->IsArray() : !reply->IsDictionary())) {
    error_ = "the server sent no usable reply";
    return std::nullopt;
  }
  return reply;
}

std::optional<std::vector<std::string>> AdminClient::EnabledApps(const std::string& user) {
  Bytes payload;
  AppendStringField(&payload, user);
  auto list = Ask(kGetEnabledApps, payload, true);
  if (!list) return std::nullopt;
  std::vector<std::string> apps;
  for (const Plist& p : *list->AsArray()) {
    if (const std::string* s = p.AsString()) apps.push_back(*s);
  }
  return apps;
}

std::optional<AppSettings> AdminClient::Settings(const std::string& user, const std::string& app,
                                                 bool* filed) {
  auto dict = Ask(kGetCredit, UserApp(user, app), false);
  if (!dict) return std::nullopt;
  if (filed != nullptr) *filed = !dict->AsDictionary()->empty();
  AppSettings s;
  ReadAppSettings(&*dict, &s);
  return s;
}

// SaveCredit has no reply: a read-back still holding `before` is the
// server's refusal.
SaveOutcome AdminClient::Save(const std::string& user, const std::string& app,
                              const AppSettings& before, const AppSettings& after,
                              AppSettings* stored) {
  Bytes payload = PackAppSettings(user, app, after);
  if (payload.size() != 8 + user.size() + app.size() + kPackedSettingsSize) {
    error_ = "user or application name cannot be sent (not UTF-8 text)";
    return SaveOutcome::kUnreachable;
  }
  int status = t_.Send(kSaveCredit, payload, false, nullptr);
  reached_ = status == 0;
  if (status != 0) {
    error_ = "could not send the settings (status " + std::to_string(status) + ")";
    return SaveOutcome::kUnreachable;
  }
  auto back = Settings(user, app);
  if (!back) return SaveOutcome::kUnreachable;
  *stored = *back;
  AppSettings expected = Comparable(after);
  expected.next_auto_update = back->next_auto_update;
  if (*back == expected) return SaveOutcome::kStored;
  if (Comparable(*back) == Comparable(before)) {
    error_ = kRefusedChange;
    return SaveOutcome::kRefused;
  }
  error_ = "the server did not store the new settings as sent";
  return SaveOutcome::kNotAsSent;
}

SaveOutcome AdminClient::Grant(const std::string& user, const std::string& app, int32_t minutes,
                               AppSettings* stored) {
  bool filed = false;
  auto s = Settings(user, app, &filed);
  if (!s) return SaveOutcome::kUnreachable;
  if (!filed) {
    error_ = user + " has no settings for " + AppLabel(app) + "; create them with c5admin set first";
    return SaveOutcome::kUnreachable;
  }
  AppSettings after = *s;
  int64_t credit = static_cast<int64_t>(s->credit) + minutes;
  after.credit = static_cast<int32_t>(std::clamp<int64_t>(credit, 0, INT32_MAX));
  return Save(user, app, *s, after, stored);
}

std::optional<std::vector<DayUsage>> AdminClient::Usage(const std::string& user,
                                                        const std::string& app, int days) {
  auto dict = Ask(kGetStats, UserApp(user, app), false);
  if (!dict) return std::nullopt;
  std::vector<DayUsage> out;
  auto today = LocalDateOf(AbsoluteTimeFromUnix(static_cast<double>(std::time(nullptr))));
  if (!today) {
    error_ = "cannot tell today's date";
    return std::nullopt;
  }
  for (int back = days - 1; back >= 0; --back) {
    // Noon keeps the day right across daylight-saving changes.
    auto t = AbsoluteTimeOfLocal(today->year, today->month, today->day - back, 12, 0, 0);
    auto d = t ? LocalDateOf(*t) : std::nullopt;
    if (!d) {
      error_ = "cannot tell the dates of the last days";
      return std::nullopt;
    }
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", d->year, d->month, d->day);
    out.push_back({date, NumberValue(dict->AsDictionary()->Find(DayKey(*t)), 32)});
  }
  return out;
}

AppSettings ApplyChanges(AppSettings s, const SettingsChanges& c) {
  if (c.enabled) s.enabled = *c.enabled;
  if (c.credit) s.credit = *c.credit;
  if (c.weekday_refill) {
    Refill f = RefillOfMinutes(*c.weekday_refill);
    s.auto_update_value = f.value;
    s.auto_update_coeff = f.coeff;
  }
  if (c.weekend_refill) {
    Refill f = RefillOfMinutes(*c.weekend_refill);
    s.we_value = f.value;
    s.we_coeff = f.coeff;
  }
  if (c.carry_over) s.report_credit = *c.carry_over;
  if (c.weekday_curfew) {
    s.wd_curfew_enabled = c.weekday_curfew->has_value();
    if (*c.weekday_curfew) {
      s.wd_start = (*c.weekday_curfew)->start;
      s.wd_stop = (*c.weekday_curfew)->stop;
    }
  }
  if (c.weekend_curfew) {
    s.we_curfew_enabled = c.weekend_curfew->has_value();
    if (*c.weekend_curfew) {
      s.we_start = (*c.weekend_curfew)->start;
      s.we_stop = (*c.weekend_curfew)->stop;
    }
  }
  if (c.quota_mb) {
    s.dq_enabled = c.quota_mb->has_value();
    if (*c.quota_mb) s.dq_value = **c.quota_mb;
  }
  return s;
}

}  // namespace corvane::admin
