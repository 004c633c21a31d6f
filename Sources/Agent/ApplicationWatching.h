// Which running processes the agent watches: identification against the
// user's settings on the server, the start-up enumeration, the refresh after
// every charged minute, and the launch and termination of applications.
#pragma once

#include <cstdint>
#include <vector>

#include "AgentState.h"

namespace corvane {

// A credit below 1 becomes 1 with "Last Minute Credit" on, else the
// no-credit marker. Records take it only where the day's statistics show no
// minute of the application; otherwise they get the marker all the same.
int32_t ApplyNoCreditMarker(int32_t credit, bool last_minute_credit);

// Refills and reads the settings of the application's keys in order and
// appends a record for the first enabled one ("Other applications" shown
// under its catalogue name). False (nothing added) for a process without a
// pid or identifier, for the agent itself, and for a window claiming one of
// the keys the agent keeps for the session and the user-wide settings.
bool IdentifyApplication(AgentState& state, const RunningApplication& app);

// The session record ("com.apple.loginwindow", the localised "computer",
// `loginPid`) first, then every application in order, then the user-wide
// record "com.quarlant.globalSettings", which is added in any case and
// carries only the disk quota.
void EnumerateRunningApplications(AgentState& state,
                                  const std::vector<RunningApplication>& applications);

// Reads the record's settings again. True when the server says they are now
// disabled (the record is left as it was, for the caller to remove);
// otherwise the record takes them, with the no-credit marker rule when
// `apply_last_minute`, and starts a new minute. Without an answer the record
// keeps its settings and starts a new minute.
bool RefreshWatchedApp(AgentState& state, WatchedApp& record, bool apply_last_minute);

// Keeps `settings` as the last known of `identifier` (bounded).
void RememberSettings(AgentState& state, const std::string& identifier,
                      const AppSettings& settings);

// The server is back: applications launched while it was away and never
// known are identified now.
void IdentifyUnansweredApplications(AgentState& state);

// Application launched: identify it; when a record was added, show the
// credit strip. True when added.
bool HandleApplicationLaunched(AgentState& state, const RunningApplication& app);
// Application terminated: its records and menu items go.
void HandleApplicationTerminated(AgentState& state, int32_t pid);

}  // namespace corvane
