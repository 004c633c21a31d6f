// The agent-wide state, one per process, shared by start-up, watching, the
// tick and the user interface.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "AgentInterfaces.h"
#include "WatchedApp.h"

namespace corvane {

struct AgentState {
  std::string user_name;
  WatchedAppList watched_apps;
  int32_t login_pid = 0;
  int16_t disk_quota_countdown = 0;
  // The settings each application had when last known (a reply, or a
  // minute counted down since), for a launch while the server is away.
  // Bounded: the child can make up any number of application keys.
  std::map<std::string, AppSettings> last_settings;
  // Launched while the server was away and never known: identified again
  // when it is back. Bounded the same way.
  std::vector<RunningApplication> unanswered;
  // The pid of the record a warning window is up for; 0 when none is.
  int32_t warned_pid = 0;
  // Alert preferences, read once at start-up.
  bool last_minute_credit = true;
  bool auto_hide_alerts = false;
  bool play_alerts_sound = false;
  bool dont_fade_screen = false;

  AgentUserInterface* ui = nullptr;
  AgentSystem* system = nullptr;
  AgentServerLink* server = nullptr;
};

}  // namespace corvane
