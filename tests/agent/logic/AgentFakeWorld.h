// One fake for the three things the agent's logic talks to: the windows
// (recorded), the machine (a clock and processes the test sets) and the
// server (a settings table that charges minutes as the real one does); and
// records as the watching code builds them, for the user interface's tests.
#pragma once

#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "AgentState.h"

namespace corvane::test {

inline constexpr int32_t kLoginPid = 7;
inline constexpr int32_t kAgentPid = 42;

inline WatchedAppRef MakeRecord(int32_t pid, const std::string& identifier,
                                const std::string& name, int32_t credit,
                                uint32_t seconds_in_minute = 0, bool warned = false) {
  auto r = std::make_shared<WatchedApp>();
  r->pid = pid;
  r->identifier = identifier;
  if (!name.empty()) r->display_name = name;
  r->settings.credit = credit;
  r->seconds_in_minute = seconds_in_minute;
  r->warned = warned;
  return r;
}

inline WatchedAppRef MakeSession(int32_t credit, uint32_t seconds_in_minute = 0) {
  return MakeRecord(4242, "com.apple.loginwindow", "computer", credit, seconds_in_minute);
}

inline WatchedAppRef MakeGlobal(uint32_t seconds_in_minute = 0) {
  return MakeRecord(0, "com.quarlant.globalSettings", "", 0, seconds_in_minute);
}

class FakeWorld : public AgentUserInterface, public AgentSystem, public AgentServerLink {
 public:
  std::vector<std::string> events;  // "<pass> <what>", in order
  int pass = 0;
  std::function<void(const WatchedApp&)> on_warning;
  AbsoluteTime now = 0;
  uint64_t home_bytes = 0;
  bool captured = false, reachable = true, stats_unknown = false;
  int32_t front_pid = 0;
  int failed_connects = 0, disconnection_status = 0;
  std::set<int32_t> dead, refuses_kill;
  std::map<std::string, AppSettings> settings;
  std::map<std::string, int> charged;
  std::vector<std::string> requests;

  void Log(const std::string& what, int32_t pid = -1) {
    events.push_back(std::to_string(pass) + " " + what + (pid < 0 ? "" : " " + std::to_string(pid)));
  }
  void ShowBlockingMessage(const std::string& text, bool) override { Log("message " + text); }
  void ShowCreditWarning(const WatchedApp& r, CreditWarningKind kind) override {
    static const char* const kKinds[] = {"last", "nocredit", "five"};
    Log(std::string("warn ") + kKinds[int(kind)], r.pid);
    if (on_warning) on_warning(r);
  }
  void ShowCurfewWarning(bool early, const WatchedApp& r, double minutes) override {
    Log((early ? "curfew early " : "curfew late ") + std::to_string(int(minutes)), r.pid);
    if (on_warning) on_warning(r);
  }
  void RemoveAppMenuItem(int32_t pid) override { Log("unlisted", pid); }
  void ShowCreditStrip() override { Log("strip"); }
  void SetDiskMenuItem(bool, int64_t, int64_t) override {}
  void TickStatusMenu() override {}
  void RefreshCreditStrip() override {}
  void TickCreditStrip() override {}

  AbsoluteTime Now() override { return now; }
  bool IsProcessAlive(int32_t pid) override { return dead.count(pid) == 0; }
  bool IsSessionUsersProcess(int32_t) override { return true; }
  bool SendKillSignal(int32_t pid) override {
    if (refuses_kill.count(pid) != 0) return false;
    Log("kill", pid);
    dead.insert(pid);
    return true;
  }
  void MeasureHomeFolderSize(std::function<void(uint64_t)> done) override { done(home_bytes); }
  bool IsDisplayCaptured() override { return captured; }
  int32_t FrontmostPid() override { return front_pid; }
  int32_t OwnPid() override { return kAgentPid; }
  void Sleep(double seconds) override { Log("sleep", int32_t(std::lround(seconds))); }

  int ConnectToServer() override { return failed_connects-- > 0 || !reachable ? -1 : 0; }
  void RequestRefill(const std::string&, const std::string& app) override { requests.push_back("refill " + app); }
  bool FetchAppSettings(const std::string&, const std::string& app, AppSettings* out) override {
    requests.push_back("fetch " + app);
    *out = reachable && settings.count(app) ? settings[app] : AppSettings();
    return reachable;
  }
  void MinuteUsed(const std::string&, const std::string& app, const AppSettings&) override {
    if (!reachable) return;
    charged[app]++;
    settings[app].credit = std::max(0, settings[app].credit - 1);
  }
  // Today's minutes are the ones charged since the world began.
  std::optional<int32_t> MinutesUsedOn(const std::string&, const std::string& app,
                                       const std::string&) override {
    requests.push_back("stats " + app);
    if (!reachable || stats_unknown) return std::nullopt;
    return charged.count(app) ? charged[app] : 0;
  }
  bool back = false;  // the next ReconnectIfAway says the server came back
  bool ReconnectIfAway() override { return std::exchange(back, false); }
  int DisconnectionRequest(int32_t pid) override {
    Log("server kill", pid);
    if (disconnection_status == 0) dead.insert(pid);
    return disconnection_status;
  }
};

}  // namespace corvane::test
