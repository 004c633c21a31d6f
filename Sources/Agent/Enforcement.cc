#include "Enforcement.h"

#include <strings.h>

#include <cstdio>
#include <limits>

#include "CreditRules.h"
#include "Localization.h"
#include "TextFormat.h"

namespace corvane {

bool EnforceCurfew(AgentState& state, WatchedApp& record) {
  AbsoluteTime now = state.system->Now();
  CurfewCheck curfew = CheckCurfew(record.settings, now);
  bool weekend = IsWeekend(now);
  if (curfew.too_early) {
    if (record.warned) {
      KillProcessOrAskServer(state, weekend ? state.login_pid : record.pid);
    } else {
      state.ui->ShowCurfewWarning(true, record, curfew.start);
      if (!ContainsWatchedApp(state.watched_apps, &record)) return false;
    }
    record.warned = true;
  }
  // Also after an early warning just now: a window that starts after it ends
  // leaves no minute allowed today.
  if (curfew.too_late) {
    if (record.warned) {
      KillProcessOrAskServer(state, state.login_pid);
    } else {
      state.ui->ShowCurfewWarning(false, record, curfew.stop);
      if (!ContainsWatchedApp(state.watched_apps, &record)) return false;
    }
    record.warned = true;
  }
  return true;
}

bool CheckDiskQuota(AgentState& state, WatchedApp& record) {
  if (!record.settings.dq_enabled) {
    state.ui->SetDiskMenuItem(false, 0, 0);
  } else {
    // A large home folder takes seconds to walk: the tick goes on, and the
    // size is judged when it comes.
    AgentState* s = &state;
    state.system->MeasureHomeFolderSize([s](uint64_t size) { ApplyHomeFolderSize(*s, size); });
    if (!ContainsWatchedApp(state.watched_apps, &record)) return false;
  }
  record.settings.credit = kGlobalSettingsCredit;
  return true;
}

void ApplyHomeFolderSize(AgentState& state, uint64_t size) {
  // Held for the warning's nested loop, which may drop it from the list.
  WatchedAppRef record;
  for (const WatchedAppRef& ref : state.watched_apps) {
    if (ref->identifier == kGlobalSettingsAppKey) {
      record = ref;
      break;
    }
  }
  if (record == nullptr || !record->settings.dq_enabled) return;
  int64_t used = size > uint64_t(std::numeric_limits<int64_t>::max())
                     ? std::numeric_limits<int64_t>::max()
                     : static_cast<int64_t>(size);
  QuotaCheck quota = CheckQuota(record->settings, used);
  int16_t& countdown = state.disk_quota_countdown;
  if (!quota.over) {
    countdown = 0;
  } else {
    if (countdown == -2) {
      // The session ends. The record keeps pid 0: were it given the
      // session's pid and the kill refused, the liveness test would drop
      // it, and the session record with it, ending every session-wide check.
      KillProcessOrAskServer(state, state.login_pid);
    }
    if (countdown == 0) {
      std::string message = FormatLocalized(
          kDiskSpaceLowFormatKey, {FormatByteSize(static_cast<uint64_t>(quota.used_bytes)),
                                   FormatByteSize(static_cast<uint64_t>(quota.allowed_bytes))});
      state.ui->ShowBlockingMessage(message, true);
      countdown = -1;
      if (!ContainsWatchedApp(state.watched_apps, record.get())) return;
    } else if (countdown > std::numeric_limits<int16_t>::min()) {
      // Stops at the bottom rather than wrapping round to a new warning.
      countdown = static_cast<int16_t>(countdown - 1);
    }
  }
  state.ui->SetDiskMenuItem(true, quota.allowed_bytes, quota.used_bytes);
}

bool IsWatchedAppAlive(AgentState& state, const WatchedApp& record) {
  if (record.identifier.size() == kComputerAppKey.size() &&
      strcasecmp(record.identifier.c_str(), kComputerAppKey.data()) == 0) {
    return true;
  }
  if (record.pid == 0) return true;
  return state.system->IsProcessAlive(record.pid);
}

void TerminateWatchedApp(AgentState& state, const WatchedApp& record) {
  if (record.identifier == kComputerAppKey && state.system->IsDisplayCaptured()) {
    // A full-screen application would keep the screen after the session is
    // gone; it goes first, and gets time to let go of the display.
    int32_t front = state.system->FrontmostPid();
    if (front > 0 && front != state.system->OwnPid()) {
      KillProcessOrAskServer(state, front);
      state.system->Sleep(kCapturedDisplayGraceSeconds);
    }
  }
  KillProcessOrAskServer(state, record.pid);
}

void KillProcessOrAskServer(AgentState& state, int32_t pid) {
  if (pid <= 0) return;
  if (state.system->SendKillSignal(pid)) {
    std::printf("Killed pid %i ourself!\n", pid);
  } else if (state.server->DisconnectionRequest(pid) != 0) {
    std::printf("Could not make corvane server kill process %i.\n", pid);
  }
  std::fflush(stdout);
}

}  // namespace corvane
