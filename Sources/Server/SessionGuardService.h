// Runs the session guard on the server's loop: a pass every few seconds,
// the session list read again when logind's files change, and the ends the
// guard decides carried out: logind's TerminateSession where logind
// answers, else SIGTERM to the session's processes and SIGKILL to what is
// left 5 seconds later. Nothing here waits: requests are served meanwhile.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Platform/System/EventLoop.h"
#include "Platform/Sessions/LoginSessions.h"
#include "Platform/Sessions/LogindTerminator.h"
#include "ServerData.h"
#include "SessionGuard.h"

namespace corvane {

class SessionGuardService {
 public:
  SessionGuardService(EventLoop& loop, ServerData& data, GuardPolicy policy);
  ~SessionGuardService();

  // Starts the passes when the policy is enabled; says so in the log.
  void Start();
  void AgentAlive(int32_t pid, uint32_t user);

 private:
  void _PassTimer();
  void EndSession(const SessionEnd& end);
  // The session's processes: those of its scope's `cgroup` where it has
  // one, else the leader's POSIX session. Never this server's session.
  std::vector<int32_t> SessionProcesses(const SessionEnd& end, const std::string& cgroup) const;
  void SignalSession(const SessionEnd& end, const std::string& cgroup, int signal);

  EventLoop& loop_;
  ServerData& data_;
  SessionGuard guard_;
  LogindTerminator logind_;
  std::unique_ptr<LoginSessionMonitor> monitor_;
  std::unique_ptr<EventLoop::Source> monitor_watch_;
  std::unique_ptr<EventLoop::Source> pass_timer_;
  // The SIGKILL 5 seconds after the SIGTERM, per ended session.
  std::unordered_map<std::string, std::unique_ptr<EventLoop::Source>> kill_timers_;
  int passes_ = 0;
};

// The guard's view of the machine, with the settings of `data` for the
// computer records.
GuardPlatform MakeGuardPlatform(const ServerData& data);

}  // namespace corvane
