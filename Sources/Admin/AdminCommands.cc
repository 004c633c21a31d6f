#include "AdminCommands.h"

#include "AdminClient.h"
#include "AdminReport.h"
#include "Platform/System/FileSystem.h"

namespace corvane::admin {
namespace {

class Session {
 public:
  Session(const AdminRequest& r, AdminTransport& t, std::string* out, std::string* err)
      : r_(r), client_(t), out_(*out), err_(*err) {}

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
  int Failed() { return Fail(client_.error()); }

  int Print(const std::vector<AppRow>& rows) {
    out_ += r_.json ? SettingsJson(r_.user, rows) : SettingsTable(r_.user, rows);
    return 0;
  }

  int Show() {
    std::vector<std::string> apps;
    if (!r_.app.empty()) {
      apps.push_back(r_.app);
    } else {
      auto enabled = client_.EnabledApps(r_.user);
      if (!enabled) return Failed();
      apps = *enabled;
    }
    std::vector<AppRow> rows;
    for (const std::string& app : apps) {
      auto s = client_.Settings(r_.user, app);
      if (!s) return Failed();
      rows.push_back({app, *s});
    }
    return Print(rows);
  }

  // The read-back is what is shown, so a refused or lost save is seen
  // instead of assumed.
  int Reported(SaveOutcome outcome, const AppSettings& stored) {
    switch (outcome) {
      case SaveOutcome::kStored: return Print({{r_.app, stored}});
      case SaveOutcome::kNotAsSent: Print({{r_.app, stored}}); return Failed();
      case SaveOutcome::kRefused:
      case SaveOutcome::kUnreachable: return Failed();
    }
    return 1;
  }

  int Set() {
    auto before = client_.Settings(r_.user, r_.app);
    if (!before) return Failed();
    AppSettings stored;
    SaveOutcome outcome =
        client_.Save(r_.user, r_.app, *before, ApplyChanges(*before, r_.changes), &stored);
    return Reported(outcome, stored);
  }

  int Grant() {
    AppSettings stored;
    return Reported(client_.Grant(r_.user, r_.app, r_.grant_minutes, &stored), stored);
  }

  int Stats() {
    auto days = client_.Usage(r_.user, r_.app, r_.days);
    if (!days) return Failed();
    out_ += r_.json ? StatsJson(r_.user, r_.app, *days) : StatsTable(r_.user, r_.app, *days);
    if (!r_.chart_path.empty()) {
      Status s = WriteFileAtomically(r_.chart_path, StatsChartSvg(r_.user, r_.app, *days));
      if (!s.ok()) return Fail("cannot write the chart: " + s.ToString());
      if (!r_.json) out_ += "Chart written to " + r_.chart_path + "\n";
    }
    return 0;
  }

  const AdminRequest& r_;
  AdminClient client_;
  std::string& out_;
  std::string& err_;
};

}  // namespace

int RunAdminRequest(const AdminRequest& request, AdminTransport& transport, std::string* out,
                    std::string* err) {
  return Session(request, transport, out, err).Run();
}

}  // namespace corvane::admin
