#include "AdminCommands.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>

#include "AbsoluteTime.h"
#include "AdminReport.h"
#include "AppSettings.h"
#include "Platform/FileSystem.h"

namespace corvane::admin {
namespace {

class Session {
 public:
  Session(const AdminRequest& r, AdminTransport& t, std::string* out, std::string* err)
      : r_(r), t_(t), out_(*out), err_(*err) {}

  int Run() {
    switch (r_.verb) {
      case AdminVerb::kShow: return Show();
      case AdminVerb::kSet: return Set();
      case AdminVerb::kGrant: return Grant();
      case AdminVerb::kStats: return Stats();
    }
    return 1;
  }

 private:
  int Fail(const std::string& why) {
    err_ += "c5admin: " + why + "\n";
    return 1;
  }

  // A request with a reply of the given type; none (after reporting) when
  // the server cannot be reached or the reply is unusable.
  std::optional<Plist> Ask(uint8_t command, const Bytes& payload, bool want_array) {
    std::optional<Plist> reply;
    int status = t_.Send(command, payload, true, &reply);
    if (status != 0) {
      Fail("cannot reach the Corvane server (status " + std::to_string(status) + ")");
      return std::nullopt;
    }
    if (!reply || (want_array ? !reply->IsArray() : !reply->IsDictionary())) {
      Fail("the server sent no usable reply");
      return std::nullopt;
    }
    return reply;
  }

  Bytes UserApp(const std::string& app) const {
    Bytes payload;
    AppendStringField(&payload, r_.user);
    AppendStringField(&payload, app);
    return payload;
  }

  std::optional<Plist> GetCredit(const std::string& app) {
    return Ask(kGetCredit, UserApp(app), false);
  }

  int Print(const std::vector<AppRow>& rows) {
    out_ += r_.json ? SettingsJson(r_.user, rows) : SettingsTable(r_.user, rows);
    return 0;
  }

  int Show() {
    std::vector<std::string> apps;
    if (!r_.app.empty()) {
      apps.push_back(r_.app);
    } else {
      Bytes payload;
      AppendStringField(&payload, r_.user);
      auto list = Ask(kGetEnabledApps, payload, true);
      if (!list) return 1;
      for (const Plist& p : *list->AsArray()) {
        if (const std::string* s = p.AsString()) apps.push_back(*s);
      }
    }
    std::vector<AppRow> rows;
    for (const std::string& app : apps) {
      auto dict = GetCredit(app);
      if (!dict) return 1;
      AppRow row{app, {}};
      ReadAppSettings(&*dict, &row.settings);
      rows.push_back(row);
    }
    return Print(rows);
  }

  // Sends the settings and reads them back; the read-back is what is shown,
  // so a refused or lost save is seen instead of assumed. SaveCredit has no
  // reply: a read-back still holding `before` is the server's refusal.
  int Save(const AppSettings& before, const AppSettings& s) {
    Bytes payload = PackAppSettings(r_.user, r_.app, s);
    if (payload.size() != 8 + r_.user.size() + r_.app.size() + kPackedSettingsSize) {
      return Fail("user or application name cannot be sent (not UTF-8 text)");
    }
    int status = t_.Send(kSaveCredit, payload, false, nullptr);
    if (status != 0) return Fail("could not send the settings (status " + std::to_string(status) + ")");
    auto back = GetCredit(r_.app);
    if (!back) return 1;
    AppRow row{r_.app, {}};
    ReadAppSettings(&*back, &row.settings);
    AppSettings expected = Comparable(s);
    expected.NextAutoUpdate = row.settings.NextAutoUpdate;
    if (!(row.settings == expected)) {
      if (Comparable(row.settings) == Comparable(before)) {
        return Fail("the server refused the change: run as root or as a member of the admin "
                    "group, or add this machine's address to \"Admin addresses\" on the server");
      }
      Print({row});
      return Fail("the server did not store the new settings as sent");
    }
    return Print({row});
  }

  // Settings as a read-back returns them: the server keeps any refill
  // unit but hours as minutes.
  static AppSettings Comparable(AppSettings s) {
    if (s.AutoUpdateCoeff != 60) s.AutoUpdateCoeff = 1;
    return s;
  }

  int Set() {
    auto dict = GetCredit(r_.app);
    if (!dict) return 1;
    AppSettings s;
    ReadAppSettings(&*dict, &s);
    const AppSettings before = s;
    const SettingsChanges& c = r_.changes;
    if (c.enabled) s.Enabled = *c.enabled;
    if (c.credit) s.Credit = *c.credit;
    if (c.weekday_refill) {
      Refill f = RefillOfMinutes(*c.weekday_refill);
      s.AutoUpdateValue = f.value;
      s.AutoUpdateCoeff = f.coeff;
    }
    if (c.weekend_refill) {
      Refill f = RefillOfMinutes(*c.weekend_refill);
      s.WeValue = f.value;
      s.WeCoeff = f.coeff;
    }
    if (c.carry_over) s.ReportCredit = *c.carry_over;
    if (c.weekday_curfew) {
      s.WdCurfewEnabled = c.weekday_curfew->has_value();
      if (*c.weekday_curfew) {
        s.WdStart = (*c.weekday_curfew)->start;
        s.WdStop = (*c.weekday_curfew)->stop;
      }
    }
    if (c.weekend_curfew) {
      s.WeCurfewEnabled = c.weekend_curfew->has_value();
      if (*c.weekend_curfew) {
        s.WeStart = (*c.weekend_curfew)->start;
        s.WeStop = (*c.weekend_curfew)->stop;
      }
    }
    if (c.quota_mb) {
      s.DqEnabled = c.quota_mb->has_value();
      if (*c.quota_mb) s.DqValue = **c.quota_mb;
    }
    return Save(before, s);
  }

  int Grant() {
    auto dict = GetCredit(r_.app);
    if (!dict) return 1;
    if (dict->AsDictionary()->empty()) {
      return Fail(r_.user + " has no settings for " + AppLabel(r_.app) +
                  "; create them with c5admin set first");
    }
    AppSettings s;
    ReadAppSettings(&*dict, &s);
    const AppSettings before = s;
    int64_t credit = static_cast<int64_t>(s.Credit) + r_.grant_minutes;
    s.Credit = static_cast<int32_t>(std::clamp<int64_t>(credit, 0, INT32_MAX));
    return Save(before, s);
  }

  int Stats() {
    auto dict = Ask(kGetStats, UserApp(r_.app), false);
    if (!dict) return 1;
    std::vector<DayUsage> days;
    auto today = LocalDateOf(AbsoluteTimeFromUnix(static_cast<double>(std::time(nullptr))));
    if (!today) return Fail("cannot tell today's date");
    for (int back = r_.days - 1; back >= 0; --back) {
      // Noon keeps the day right across daylight-saving changes.
      auto t = AbsoluteTimeOfLocal(today->year, today->month, today->day - back, 12, 0, 0);
      auto d = t ? LocalDateOf(*t) : std::nullopt;
      if (!d) return Fail("cannot tell the dates of the last days");
      char date[32];
      std::snprintf(date, sizeof date, "%04d-%02d-%02d", d->year, d->month, d->day);
      days.push_back({date, NumberValue(dict->AsDictionary()->Find(DayKey(*t)), 32)});
    }
    out_ += r_.json ? StatsJson(r_.user, r_.app, days) : StatsTable(r_.user, r_.app, days);
    if (!r_.chart_path.empty()) {
      Status s = WriteFileAtomically(r_.chart_path, StatsChartSvg(r_.user, r_.app, days));
      if (!s.ok()) return Fail("cannot write the chart: " + s.ToString());
      if (!r_.json) out_ += "Chart written to " + r_.chart_path + "\n";
    }
    return 0;
  }

  const AdminRequest& r_;
  AdminTransport& t_;
  std::string& out_;
  std::string& err_;
};

}  // namespace

int RunAdminRequest(const AdminRequest& request, AdminTransport& transport, std::string* out,
                    std::string* err) {
  return Session(request, transport, out, err).Run();
}

}  // namespace corvane::admin
