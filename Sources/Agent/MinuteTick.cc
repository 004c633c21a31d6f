#include "MinuteTick.h"

#include <cassert>

#include "ApplicationWatching.h"
#include "Enforcement.h"

namespace corvane {
namespace {

bool StillListed(const AgentState& state, const WatchedApp& record) {
  return ContainsWatchedApp(state.watched_apps, &record);
}

// Shows a credit warning; false when the record left the list meanwhile.
bool WarnCredit(AgentState& state, WatchedApp& record, CreditWarningKind kind) {
  state.ui->ShowCreditWarning(record, kind);
  return StillListed(state, record);
}

void ProcessMinute(AgentState& state, WatchedApp& record) {
  bool is_global = record.identifier == kGlobalSettingsAppKey;
  bool remove = false;
  if (is_global && !CheckDiskQuota(state, record)) return;
  if (!EnforceCurfew(state, record)) return;
  AppSettings& s = record.settings;
  if (s.credit == 0) {
    TerminateWatchedApp(state, record);
    remove = true;
  }
  if (s.credit == kLastMinuteCredit) {
    if (!WarnCredit(state, record, CreditWarningKind::kLastMinute)) return;
    record.warned = true;
  }
  if (s.credit == kFiveMinuteCredit) {
    if (!WarnCredit(state, record, CreditWarningKind::kFiveMinutes)) return;
  }
  if (s.credit == kNoCreditMarker) {
    if (!WarnCredit(state, record, CreditWarningKind::kNoCredit)) return;
    s.credit = 1;
    record.warned = true;
    TerminateWatchedApp(state, record);
    remove = true;
  }
  s.credit -= 1;
  // The terminated application's last minute is charged too.
  if (!is_global) {
    RememberSettings(state, record.identifier, s);
    state.server->MinuteUsed(state.user_name, record.identifier, s);
    if (RefreshWatchedApp(state, record, !record.warned)) remove = true;
  }
  if (remove) {
    int32_t pid = record.pid;
    RemoveWatchedApp(&record, &state.watched_apps);
    state.ui->RemoveAppMenuItem(pid);
  }
}

}  // namespace

void OnTick(AgentState& state) {
  assert(state.ui != nullptr && state.system != nullptr && state.server != nullptr &&
         "MinuteTick: the agent's interfaces are not wired");
  if (state.server->ReconnectIfAway()) IdentifyUnansweredApplications(state);
  state.ui->TickStatusMenu();
  // The pass walks a copy of the list: its references keep every record
  // alive while a warning's nested loop removes or adds records, and a
  // removal cannot shift the next record out of the pass.
  const WatchedAppList pass = state.watched_apps;
  for (const WatchedAppRef& ref : pass) {
    WatchedApp& record = *ref;
    if (!StillListed(state, record)) continue;
    if (!IsWatchedAppAlive(state, record)) {
      int32_t pid = record.pid;
      RemoveWatchedAppsByPid(pid, &state.watched_apps);
      state.ui->RemoveAppMenuItem(pid);
      continue;
    }
    if (record.seconds_in_minute % kPassesPerMinute == 0) ProcessMinute(state, record);
    if (StillListed(state, record)) record.seconds_in_minute += 1;
  }
  state.ui->TickCreditStrip();
}

}  // namespace corvane
