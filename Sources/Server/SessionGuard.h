// The session guard: a watched login session must have a live, untouched
// agent, or it is ended. The agent runs as the child, who can kill it, stop
// it or start it altered; only root, from outside, can tell.
//
// A live agent is a process that runs the installed agent program, as the
// session's user and inside that session, is neither stopped nor traced,
// was started without a loader or clock override in its environment, made
// itself undumpable, and said it is alive (kAgentAlive on its connection to
// this server) within the liveness window. A guarded session gets the grace
// period from when the guard first sees it to have one, and is ended once
// it has had none for the liveness window.
//
// Plain logic over GuardPlatform: the server runs Pass() from its loop and
// carries out the ends it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "Platform/Sessions/LoginSessions.h"
#include "Platform/System/ProcessFacts.h"

namespace corvane {

inline constexpr double kAgentGraceSeconds = 60;
inline constexpr double kAgentLivenessSeconds = 20;
inline constexpr double kGuardPassSeconds = 3;
inline constexpr double kSessionKillDelaySeconds = 5;

struct GuardPolicy {
  bool enabled = true;
  // "Guarded users": names, or every account ("any").
  bool every_user = false;
  std::set<std::string> named_users;
  // "Guard console sessions": text-console and remote sessions too.
  bool guard_console = true;
  // "Agent program", as a canonical path.
  std::string agent_program;
  // "Agent environment allowed": "NAME" (any value) or "NAME=VALUE".
  std::vector<std::string> allowed_environment;
  // "Non-watched account", never guarded.
  std::string non_watched_account;
  double grace = kAgentGraceSeconds;
  double liveness = kAgentLivenessSeconds;
  double pass = kGuardPassSeconds;
};

enum class GuardVerdict {
  kLive,
  kNoAgent,
  kAgentStopped,
  kEnvironmentChanged,
  kNotInstalledProgram,
};
// "no agent", "agent stopped", ... as the log says it.
const char* GuardVerdictText(GuardVerdict verdict);

// Whether one environment entry ("NAME=VALUE") may be in an agent's
// environment under `allowed`.
bool EnvironmentEntryAllowed(const std::string& entry, const std::vector<std::string>& allowed);

// What the guard asks of the machine; the benchmark swaps the session list.
struct GuardPlatform {
  std::function<std::vector<LoginSessionRecord>()> list_sessions;
  std::function<std::unique_ptr<ProcessProbe>(int32_t pid)> open_process;
  std::function<bool(int32_t pid, ProcessFacts* facts)> process_facts;  // with environment
  std::function<std::string(int32_t pid)> logind_session_of;
  std::function<std::string(uint32_t user)> user_name;
  // The account has an enabled computer record ("com.apple.loginwindow").
  std::function<bool(const std::string& user)> has_computer_record;
};

struct SessionEnd {
  std::string session;
  uint32_t user = 0;
  std::string user_name;
  GuardVerdict reason = GuardVerdict::kNoAgent;
  int32_t leader = 0;
  int32_t leader_posix_session = 0;
  std::string scope;
};

class SessionGuard {
 public:
  SessionGuard(GuardPolicy policy, GuardPlatform platform);
  ~SessionGuard();

  // A kAgentAlive from process `pid`, whose socket belongs to `user`.
  void AgentAlive(int32_t pid, uint32_t user, double now);
  // The session list changed: read it again at the next pass.
  void SessionsChanged() { sessions_stale_ = true; }
  // One pass over the sessions; the ones to end now. Each is returned once.
  std::vector<SessionEnd> Pass(double now);

  const GuardPolicy& policy() const { return policy_; }
  // Whether `user_name` (uid `user`) is guarded at all.
  bool IsGuardedUser(uint32_t user, const std::string& user_name) const;

 private:
  struct Agent;
  struct Tracked;
  using AgentMap = std::unordered_map<int32_t, std::unique_ptr<Agent>>;

  // Reads where the process is now, and examines it the first time; false
  // once it has ended.
  bool Look(int32_t pid, Agent& agent);
  // Program, tracer and environment, which cannot change while it lives.
  GuardVerdict ExamineOnce(Agent& agent, int32_t pid);
  // kNoAgent for a process that is not `user`'s.
  GuardVerdict Judge(const Agent& agent, uint32_t user, double now) const;
  AgentMap::iterator Forget(AgentMap::iterator it);
  void ForgetEndedAgents(double now);

  GuardPolicy policy_;
  GuardPlatform platform_;
  bool sessions_stale_ = true;
  std::vector<LoginSessionRecord> sessions_;
  std::unordered_map<uint32_t, std::string> names_;  // account names of sessions_
  std::unordered_map<std::string, std::unique_ptr<Tracked>> tracked_;
  AgentMap agents_;  // processes that said they are alive, by pid
  std::unordered_map<uint32_t, size_t> agents_per_user_;
};

}  // namespace corvane
