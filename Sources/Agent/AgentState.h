// The agent-wide state, one per process, shared by start-up, watching, the
// tick and the user interface.
#pragma once

#include <cstdint>
#include <string>

#include "AgentInterfaces.h"
#include "WatchedApp.h"

namespace corvane {

struct AgentState {
  std::string userName;
  WatchedAppList watchedApps;
  int32_t loginPid = 0;
  int16_t diskQuotaCountdown = 0;
  // Alert preferences, read once at start-up.
  bool lastMinuteCredit = true;
  bool autoHideAlerts = false;
  bool playAlertsSound = false;
  bool dontFadeScreen = false;

  AgentUserInterface* ui = nullptr;
  AgentSystem* system = nullptr;
  AgentServerLink* server = nullptr;
};

}  // namespace corvane
