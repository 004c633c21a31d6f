#include "SessionGuardService.h"

#include <unistd.h>

#include <chrono>

#include "AppSettings.h"
#include "Platform/System/ProcessControl.h"
#include "Platform/System/UserAccount.h"
#include "ServerLog.h"

namespace corvane {
namespace {

// The session list is read again at least this often, in case a change
// slipped past the monitor (reading 100 sessions' records costs more than
// a pass).
constexpr int kPassesPerRescan = 100;

double MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

GuardPlatform MakeGuardPlatform(const ServerData& data) {
  GuardPlatform platform;
  platform.list_sessions = ListLoginSessions;
  platform.open_process = OpenProcessProbe;
  platform.process_facts = [](int32_t pid, ProcessFacts* facts) {
    return ReadProcessFacts(pid, true, facts);
  };
  platform.logind_session_of = LogindSessionOfProcess;
  platform.user_name = UserNameOfID;
  platform.has_computer_record = [&data](const std::string& user) {
    const Plist* app = FindAppSettings(*data.settings.AsDictionary(), user, kComputerAppKey);
    return app != nullptr && app->IsDictionary() &&
           BooleanValue(app->AsDictionary()->Find(kKeyEnabled));
  };
  return platform;
}

SessionGuardService::SessionGuardService(EventLoop& loop, ServerData& data, GuardPolicy policy)
    : loop_(loop), data_(data), guard_(std::move(policy), MakeGuardPlatform(data)), logind_(loop) {}

SessionGuardService::~SessionGuardService() { data_.agent_alive = nullptr; }

void SessionGuardService::Start() {
  if (!guard_.policy().enabled) return;
  LogMessage("Session guard: watching login sessions");
  data_.agent_alive = [this](int32_t pid, uint32_t user) { AgentAlive(pid, user); };
  monitor_ = LoginSessionMonitor::Create();
  if (monitor_) {
    monitor_watch_ = loop_.WatchFd(monitor_->fd(), EventLoop::kReadable, [this](uint32_t) {
      monitor_->Flush();
      guard_.SessionsChanged();
    });
  }
  pass_timer_ = loop_.AddTimer(guard_.policy().pass, [this] { _PassTimer(); });
}

void SessionGuardService::AgentAlive(int32_t pid, uint32_t user) {
  guard_.AgentAlive(pid, user, MonotonicSeconds());
}

void SessionGuardService::_PassTimer() {
  if (!monitor_watch_ || ++passes_ % kPassesPerRescan == 0) guard_.SessionsChanged();
  for (const SessionEnd& end : guard_.Pass(MonotonicSeconds())) EndSession(end);
  pass_timer_ = loop_.AddTimer(guard_.policy().pass, [this] { _PassTimer(); });
}

void SessionGuardService::EndSession(const SessionEnd& end) {
  LogMessage("Ended session %s of user %s: %s", end.session.c_str(), end.user_name.c_str(),
             GuardVerdictText(end.reason));
  logind_.TerminateSession(end.session, [this, end](bool taken) {
    if (taken) return;
    // Chosen once: by the time of the SIGKILL the leader may be gone.
    std::string cgroup;
    if (!end.scope.empty()) {
      cgroup = CgroupOfProcess(end.leader);
      if (!EndsWith(cgroup, "/" + end.scope)) cgroup.clear();
    }
    SignalSession(end, cgroup, kTerminateSignal);
    kill_timers_[end.session] = loop_.AddTimer(kSessionKillDelaySeconds, [this, end, cgroup] {
      SignalSession(end, cgroup, kKillSignal);
    });
  });
}

std::vector<int32_t> SessionGuardService::SessionProcesses(const SessionEnd& end,
                                                           const std::string& cgroup) const {
  if (!cgroup.empty()) return ProcessesInCgroup(cgroup);
  int32_t own_session = static_cast<int32_t>(getsid(0));
  if (end.leader_posix_session <= 1 || end.leader_posix_session == own_session) {
    return {end.leader};
  }
  return ProcessesInPosixSession(end.leader_posix_session);
}

void SessionGuardService::SignalSession(const SessionEnd& end, const std::string& cgroup,
                                        int signal) {
  int own = CurrentProcessID();
  for (int32_t pid : SessionProcesses(end, cgroup)) {
    if (pid > 1 && pid != own) SignalProcess(pid, signal);
  }
}

}  // namespace corvane
