// The login session the agent runs in (logind, else the POSIX session).
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// The leader process of the caller's logind session; without logind, the
// leader of the caller's POSIX session (getsid). Killing it ends the session.
int32_t SessionLeaderPid();
// The leader of the logind session named `session`; 0 when logind has no
// such session or its record names none.
int32_t LogindSessionLeader(const std::string& session);
// Whether logind reports the caller's session active (in front on its seat);
// always true without logind.
bool IsSessionActive();
// The real user id of a process; -1 when it is gone or unreadable.
int64_t ProcessUserID(int32_t pid);

}  // namespace corvane
