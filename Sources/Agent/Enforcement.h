// What the minute tick does to a record that has run out of time or space:
// the curfew, the disk quota, and killing a process or the whole session.
#pragma once

#include <cstdint>

#include "AgentState.h"

namespace corvane {

inline constexpr int32_t kGlobalSettingsCredit = 10;
inline constexpr double kCapturedDisplayGraceSeconds = 5.0;
inline constexpr const char* kDiskSpaceLowFormatKey = "Disk Space low format";

// The curfew of the record's day: a warning the first time, a kill once
// `warned` is set (the record's own process on a weekday morning, the session
// otherwise). False when the record left the list while a warning was up;
// it must not be touched again then.
bool EnforceCurfew(AgentState& state, WatchedApp& record);

// The disk quota on the user-wide record: asks for the home folder's size,
// which ApplyHomeFolderSize judges when it comes, and keeps the record's
// credit at 10. False when the record left the list during a warning shown
// at once.
bool CheckDiskQuota(AgentState& state, WatchedApp& record);

// A measured home folder size against the user-wide record's quota: warns
// once per excess, ends the session at the second check after the warning.
// Nothing when the record is gone or has no quota any more.
void ApplyHomeFolderSize(AgentState& state, uint64_t size);

// The session record never ends while the agent runs and the user-wide
// record has no process; any other record lives while signal 0 reaches it.
bool IsWatchedAppAlive(AgentState& state, const WatchedApp& record);

// Kills the record's process. For the session record a full-screen or
// grabbing front application (not the agent) is killed first, then the
// agent waits five seconds.
void TerminateWatchedApp(AgentState& state, const WatchedApp& record);

// Signal 9 from the agent; when refused, the server on this machine is asked
// to kill. A pid of 0 or less is ignored.
void KillProcessOrAskServer(AgentState& state, int32_t pid);

}  // namespace corvane
