#include "ApplicationWatching.h"

#include <algorithm>
#include <memory>

#include "AbsoluteTime.h"
#include "Localization.h"

namespace corvane {
namespace {

bool IsReservedKey(const std::string& identifier) {
  return identifier == kComputerAppKey || identifier == kGlobalSettingsAppKey;
}

// A credit below 1 as a record takes it. The last minute is given once a
// day, not once a launch: only when the statistics show no minute of the
// application today, so relaunching, restarting the agent or logging in
// again never brings another. Unknown statistics give none.
int32_t CreditForRecord(AgentState& state, const std::string& identifier, int32_t credit) {
  if (credit >= 1 || !state.last_minute_credit) return ApplyNoCreditMarker(credit, state.last_minute_credit);
  std::optional<int32_t> used =
      state.server->MinutesUsedOn(state.user_name, identifier, DayKey(state.system->Now()));
  return used && *used == 0 ? 1 : kNoCreditMarker;
}

constexpr size_t kMaxRememberedApps = 256;

// Refill, read, and append a record when enabled. Without an answer the
// settings last known for the application stand in (a game quit and started
// again while the server is away goes on counting down); an application
// never known is put in `state.unanswered` when `later` is given.
bool AddRecord(AgentState& state, int32_t pid, const std::string& identifier,
               std::optional<std::string> display_name, const RunningApplication* later) {
  state.server->RequestRefill(state.user_name, identifier);
  AppSettings settings;
  if (state.server->FetchAppSettings(state.user_name, identifier, &settings)) {
    RememberSettings(state, identifier, settings);
  } else if (auto known = state.last_settings.find(identifier); known != state.last_settings.end()) {
    settings = known->second;
  } else {
    bool listed = std::any_of(state.unanswered.begin(), state.unanswered.end(),
                              [pid](const RunningApplication& a) { return a.pid == pid; });
    if (later != nullptr && !listed && state.unanswered.size() < kMaxRememberedApps) {
      state.unanswered.push_back(*later);
    }
    return false;
  }
  if (!settings.enabled) return false;
  auto record = std::make_shared<WatchedApp>();
  settings.credit = CreditForRecord(state, identifier, settings.credit);
  record->settings = settings;
  record->pid = pid;
  record->identifier = identifier;
  record->display_name = std::move(display_name);
  state.watched_apps.push_back(std::move(record));
  return true;
}

}  // namespace

void RememberSettings(AgentState& state, const std::string& identifier,
                      const AppSettings& settings) {
  auto it = state.last_settings.find(identifier);
  if (it != state.last_settings.end()) {
    it->second = settings;
  } else if (state.last_settings.size() < kMaxRememberedApps) {
    state.last_settings.emplace(identifier, settings);
  }
}

int32_t ApplyNoCreditMarker(int32_t credit, bool last_minute_credit) {
  if (credit >= 1) return credit;
  return last_minute_credit ? 1 : kNoCreditMarker;
}

bool IdentifyApplication(AgentState& state, const RunningApplication& app) {
  // The session's own leader and the agent are the session, not one of its
  // applications; a window may not pass itself off as either reserved key
  // (that would charge the computer twice and leave the application free).
  if (app.pid <= 0 || app.identifier.empty()) return false;
  if (app.pid == state.login_pid || app.pid == state.system->OwnPid()) return false;
  std::vector<RunningApplication::Fallback> keys{{app.identifier, app.display_name}};
  keys.insert(keys.end(), app.fallbacks.begin(), app.fallbacks.end());
  // The first key a parent watches takes the process.
  for (const auto& [key, display_name] : keys) {
    if (key.empty() || IsReservedKey(key)) return false;
    std::optional<std::string> name;
    if (key == kOtherAppsKey) {
      name = LocalizedString("Other applications");
    } else if (!display_name.empty()) {
      name = display_name;
    }
    if (AddRecord(state, app.pid, key, std::move(name), &app)) return true;
  }
  return false;
}

void EnumerateRunningApplications(AgentState& state,
                                  const std::vector<RunningApplication>& applications) {
  AddRecord(state, state.login_pid, std::string(kComputerAppKey), LocalizedString("computer"),
            nullptr);
  for (const RunningApplication& app : applications) IdentifyApplication(state, app);

  AppSettings fetched;
  state.server->FetchAppSettings(state.user_name, std::string(kGlobalSettingsAppKey), &fetched);
  auto global = std::make_shared<WatchedApp>();
  global->settings.dq_enabled = fetched.dq_enabled;
  global->settings.dq_value = fetched.dq_value;
  global->identifier = kGlobalSettingsAppKey;
  state.watched_apps.push_back(std::move(global));
}

bool RefreshWatchedApp(AgentState& state, WatchedApp& record, bool apply_last_minute) {
  AppSettings settings;
  if (!state.server->FetchAppSettings(state.user_name, record.identifier, &settings)) {
    // No answer is not "disabled": the record counts on from what it has.
    record.seconds_in_minute = 0;
    return false;
  }
  RememberSettings(state, record.identifier, settings);
  if (!settings.enabled) return true;
  if (apply_last_minute) settings.credit = CreditForRecord(state, record.identifier, settings.credit);
  record.settings = settings;
  record.seconds_in_minute = 0;
  return false;
}

bool HandleApplicationLaunched(AgentState& state, const RunningApplication& app) {
  bool added = IdentifyApplication(state, app);
  if (added) state.ui->ShowCreditStrip();
  return added;
}

void IdentifyUnansweredApplications(AgentState& state) {
  std::vector<RunningApplication> apps = std::move(state.unanswered);
  state.unanswered.clear();
  for (const RunningApplication& app : apps) {
    if (state.system->IsProcessAlive(app.pid)) HandleApplicationLaunched(state, app);
  }
}

void HandleApplicationTerminated(AgentState& state, int32_t pid) {
  // The session record lives as long as the agent.
  if (pid == 0 || pid == state.login_pid) return;
  std::erase_if(state.unanswered, [pid](const RunningApplication& a) { return a.pid == pid; });
  if (RemoveWatchedAppsByPid(pid, &state.watched_apps) > 0) state.ui->RemoveAppMenuItem(pid);
}

}  // namespace corvane
