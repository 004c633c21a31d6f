#include "AgentStartup.h"

#include <strings.h>

#include <cstdio>

#include "Paths.h"
#include "Platform/System/Deadline.h"
#include "PlistFile.h"
#include "PreferenceKeys.h"
#include "Preferences.h"

namespace corvane {
namespace {

constexpr double kMinimumTrySeconds = 1.0;

}  // namespace

bool SynchronizePreferencesAndReport() {
  bool synced = SynchronizePreferences();
  std::fputs(synced ? "Preferences sync'ed.\n" : "Could not sync preferences!\n", stdout);
  std::fflush(stdout);
  return synced;
}

bool IsNonWatchedAccount(const std::string& user_name) {
  auto prefs = ReadPlistFile(SystemPath(kPreferenceFile));
  if (!prefs || !prefs->IsDictionary()) return false;
  const Plist* account = prefs->AsDictionary()->Find(pref::kNonWatchedAccount);
  const std::string* name = account != nullptr ? account->AsString() : nullptr;
  if (name == nullptr || name->empty() || name->size() != user_name.size() ||
      strcasecmp(name->c_str(), user_name.c_str()) != 0) {
    return false;
  }
  std::fputs("Cannot watch this user.\n", stdout);
  std::fflush(stdout);
  return true;
}

int ConnectDuringStartup(AgentServerLink& server, AgentSystem& system, double seconds,
                         const std::function<void()>& between_tries) {
  Deadline deadline = Deadline::After(seconds);
  int result = -1;
  while (result != 0) {
    Deadline try_end = Deadline::After(kMinimumTrySeconds);
    result = server.ConnectToServer();
    if (result == 0 || deadline.Passed()) break;
    if (between_tries) between_tries();
    if (!try_end.Passed()) system.Sleep(try_end.RemainingMilliseconds() / 1000.0);
  }
  if (result != 0) {
    std::printf("Cannot contact server err = %i.\n", result);
    std::fflush(stdout);
  }
  return result;
}

int8_t ReadConfigurationValue() {
  SynchronizePreferences();
  return static_cast<int8_t>(PreferenceInteger(pref::kConfiguration).value_or(0));
}

ServerMissingAction ServerMissingActionFor(int8_t configuration) {
  switch (configuration) {
    case 1: return ServerMissingAction::kStayIdle;
    case 2: return ServerMissingAction::kRetryEvery120s;
    default: return ServerMissingAction::kContinue;
  }
}

void ReadAlertPreferences(AgentState* state) {
  state->last_minute_credit = PreferenceFlag(pref::kLastMinuteCredit, true);
  state->auto_hide_alerts = PreferenceFlag(pref::kAutoHideAlerts, false);
  state->play_alerts_sound = PreferenceFlag(pref::kPlayAlertsSound, false);
  state->dont_fade_screen = PreferenceFlag(pref::kDontFadeScreen, false);
}

}  // namespace corvane
