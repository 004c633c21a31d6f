#include "SessionGuard.h"

#include <strings.h>

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace corvane {
namespace {

// Heartbeating processes followed at once, and per user, so that one user's
// processes cannot crowd out another's agents; more are not credited, which
// can only end that user's sessions, never save one.
constexpr size_t kMaxAgents = 4096;
constexpr size_t kMaxAgentsPerUser = 32;
// A process that stopped saying it is alive this long ago is forgotten.
constexpr double kForgetAgentSeconds = 600;

// Names that change what code the agent runs or what time it sees.
bool ForbiddenName(std::string_view name) {
  static const char* const kNames[] = {"LD_PRELOAD", "LD_LIBRARY_PATH", "LD_AUDIT", "TZ",
                                       "QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH"};
  for (const char* forbidden : kNames) {
    if (name == forbidden) return true;
  }
  return name.substr(0, 8) == "FAKETIME" || name.substr(0, 8) == "CORVANE_";
}

bool GraphicalType(const std::string& type) {
  return type == "x11" || type == "wayland" || type == "mir";
}

}  // namespace

struct SessionGuard::Agent {
  uint32_t socket_user = 0;
  double last_beat = 0;
  std::unique_ptr<ProcessProbe> probe;
  bool gone = false;
  bool examined = false;
  uint32_t real_user = 0;
  std::string logind_session;
  // As the last look found it.
  char state = 0;
  int32_t posix_session = 0;
  // What cannot change while the process lives: its program, its
  // environment, a tracer it had before it made itself undumpable.
  GuardVerdict fixed = GuardVerdict::kLive;
};

struct SessionGuard::Tracked {
  double since = 0;
  double last_live = -std::numeric_limits<double>::infinity();
  std::unique_ptr<ProcessProbe> leader;
  bool leader_gone = false;
  bool ended = false;
};

const char* GuardVerdictText(GuardVerdict verdict) {
  switch (verdict) {
    case GuardVerdict::kLive: return "agent alive";
    case GuardVerdict::kNoAgent: return "no agent";
    case GuardVerdict::kAgentStopped: return "agent stopped";
    case GuardVerdict::kEnvironmentChanged: return "agent environment changed";
    case GuardVerdict::kNotInstalledProgram: return "agent is not the installed program";
  }
  return "no agent";
}

bool EnvironmentEntryAllowed(const std::string& entry, const std::vector<std::string>& allowed) {
  std::string_view name = std::string_view(entry).substr(0, entry.find('='));
  if (!ForbiddenName(name)) return true;
  for (const std::string& item : allowed) {
    if (item.find('=') == std::string::npos ? item == name : item == entry) return true;
  }
  return false;
}

SessionGuard::SessionGuard(GuardPolicy policy, GuardPlatform platform)
    : policy_(std::move(policy)), platform_(std::move(platform)) {}
SessionGuard::~SessionGuard() = default;

bool SessionGuard::IsGuardedUser(uint32_t user, const std::string& user_name) const {
  if (user == 0 || user_name.empty()) return false;
  if (!policy_.non_watched_account.empty() &&
      strcasecmp(policy_.non_watched_account.c_str(), user_name.c_str()) == 0) {
    return false;
  }
  return policy_.every_user || policy_.named_users.count(user_name) != 0 ||
         (platform_.has_computer_record && platform_.has_computer_record(user_name));
}

void SessionGuard::AgentAlive(int32_t pid, uint32_t user, double now) {
  if (pid <= 0) return;
  auto it = agents_.find(pid);
  if (it != agents_.end() && (it->second->gone || it->second->socket_user != user)) {
    Forget(it);  // a new process under an old pid
    it = agents_.end();
  }
  if (it == agents_.end()) {
    if (agents_.size() >= kMaxAgents || agents_per_user_[user] >= kMaxAgentsPerUser) return;
    it = agents_.emplace(pid, std::make_unique<Agent>()).first;
    it->second->socket_user = user;
    ++agents_per_user_[user];
  }
  it->second->last_beat = now;
}

GuardVerdict SessionGuard::ExamineOnce(Agent& agent, int32_t pid) {
  agent.examined = true;
  ProcessFacts facts;
  if (!platform_.process_facts(pid, &facts)) {
    agent.gone = true;
    return GuardVerdict::kNoAgent;
  }
  agent.real_user = facts.real_user;
  agent.logind_session = platform_.logind_session_of(pid);
  const std::string& program = policy_.agent_program;
  // A program replaced by an upgrade while it runs shows as deleted; only
  // root can replace the installed one.
  if ((facts.executable != program && facts.executable != program + " (deleted)") ||
      !facts.undumpable) {
    agent.fixed = GuardVerdict::kNotInstalledProgram;
  } else if (facts.tracer != 0) {
    agent.fixed = GuardVerdict::kAgentStopped;
  } else if (facts.environment_too_large ||
             !std::all_of(facts.environment.begin(), facts.environment.end(),
                          [&](const std::string& entry) {
                            return EnvironmentEntryAllowed(entry, policy_.allowed_environment);
                          })) {
    agent.fixed = GuardVerdict::kEnvironmentChanged;
  }
  return agent.fixed;
}

bool SessionGuard::Look(int32_t pid, Agent& agent) {
  if (agent.gone) return false;
  if (!agent.probe) agent.probe = platform_.open_process(pid);
  if (!agent.probe || !agent.probe->Read(&agent.state, &agent.posix_session)) {
    agent.gone = true;
    return false;
  }
  if (!agent.examined) ExamineOnce(agent, pid);
  return !agent.gone;
}

GuardVerdict SessionGuard::Judge(const Agent& agent, uint32_t user, double now) const {
  if (agent.real_user != user || agent.socket_user != user) return GuardVerdict::kNoAgent;
  if (agent.fixed != GuardVerdict::kLive) return agent.fixed;
  if (agent.state == 'T' || agent.state == 't') return GuardVerdict::kAgentStopped;
  // Running but silent: its loop no longer turns.
  if (now - agent.last_beat > policy_.liveness) return GuardVerdict::kAgentStopped;
  return GuardVerdict::kLive;
}

std::vector<SessionEnd> SessionGuard::Pass(double now) {
  std::vector<SessionEnd> ends;
  if (!policy_.enabled) return ends;
  if (sessions_stale_ && platform_.list_sessions) {
    sessions_ = platform_.list_sessions();
    sessions_stale_ = false;
    // Account names are looked up again with the list: an account database
    // read per session and pass would cost more than the whole pass.
    names_.clear();
  }
  // Each process that spoke, looked at once, filed under its session:
  // logind's word where it has one; without logind, the session's
  // processes share the leader's POSIX session.
  std::unordered_multimap<std::string, const Agent*> by_session;
  std::unordered_multimap<int32_t, const Agent*> by_posix_session;
  for (auto& [pid, agent] : agents_) {
    if (!Look(pid, *agent)) continue;
    if (agent->logind_session.empty()) {
      by_posix_session.emplace(agent->posix_session, agent.get());
    } else {
      by_session.emplace(agent->logind_session, agent.get());
    }
  }
  std::unordered_set<std::string> seen;
  for (const LoginSessionRecord& session : sessions_) {
    if (session.session_class != "user" || session.leader <= 0) continue;
    auto [named, added] = names_.try_emplace(session.user);
    if (added && platform_.user_name) named->second = platform_.user_name(session.user);
    const std::string& name = named->second;
    if (!IsGuardedUser(session.user, name)) continue;
    bool console = !GraphicalType(session.type) || session.remote;
    if (console && !policy_.guard_console) continue;
    seen.insert(session.id);
    std::unique_ptr<Tracked>& tracked = tracked_[session.id];
    if (!tracked) {
      tracked = std::make_unique<Tracked>();
      tracked->since = now;
      tracked->leader = platform_.open_process(session.leader);
      tracked->leader_gone = !tracked->leader;
    }
    Tracked& t = *tracked;
    if (t.ended || t.leader_gone) continue;
    char leader_state = 0;
    int32_t leader_posix_session = 0;
    if (!t.leader->Read(&leader_state, &leader_posix_session)) {
      // The session is over; a later process under the leader's pid is
      // none of its business.
      t.leader_gone = true;
      t.leader.reset();
      continue;
    }
    GuardVerdict verdict = GuardVerdict::kNoAgent;
    double verdict_beat = -1;
    bool live = false;
    auto consider = [&](const Agent* agent) {
      GuardVerdict v = Judge(*agent, session.user, now);
      if (v == GuardVerdict::kLive) {
        live = true;
      } else if (v != GuardVerdict::kNoAgent && agent->last_beat > verdict_beat) {
        // The most recent process that spoke for this session says why.
        verdict = v;
        verdict_beat = agent->last_beat;
      }
    };
    // A console session has no display for an agent to run on.
    if (!console) {
      auto [first, last] = by_session.equal_range(session.id);
      for (auto it = first; it != last; ++it) consider(it->second);
      auto [pfirst, plast] = by_posix_session.equal_range(leader_posix_session);
      for (auto it = pfirst; it != plast; ++it) consider(it->second);
    }
    if (live) {
      t.last_live = now;
      continue;
    }
    if (now < std::max(t.since + policy_.grace, t.last_live + policy_.liveness)) continue;
    t.ended = true;
    ends.push_back({session.id, session.user, name, verdict, session.leader, leader_posix_session,
                    session.scope});
  }
  for (auto it = tracked_.begin(); it != tracked_.end();) {
    it = seen.count(it->first) != 0 ? std::next(it) : tracked_.erase(it);
  }
  ForgetEndedAgents(now);
  return ends;
}

SessionGuard::AgentMap::iterator SessionGuard::Forget(AgentMap::iterator it) {
  auto count = agents_per_user_.find(it->second->socket_user);
  if (count != agents_per_user_.end() && --count->second == 0) agents_per_user_.erase(count);
  return agents_.erase(it);
}

void SessionGuard::ForgetEndedAgents(double now) {
  for (auto it = agents_.begin(); it != agents_.end();) {
    bool forget = it->second->gone || now - it->second->last_beat > kForgetAgentSeconds;
    it = forget ? Forget(it) : std::next(it);
  }
}

}  // namespace corvane
