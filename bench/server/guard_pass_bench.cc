// One pass of the session guard over 100 guarded sessions, each with a live
// agent: real processes (forks of this program that made themselves
// undumpable as "nobody", each leading a POSIX session of its own) read
// through /proc as the server reads them. The goal is 1 ms of CPU per pass.
// Also: the first pass, which examines every agent once (program,
// environment), and reading 100 sessions' logind records, which the server
// does only when they change (and every tenth pass).
//
//   build/bench/guard_pass_bench      (as root: the agents run as another user)
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Paths.h"
#include "Platform/Sessions/LoginSessions.h"
#include "SessionGuard.h"
#include "SessionGuardService.h"

namespace corvane {
namespace {

constexpr int kSessions = 100;
constexpr uint32_t kNobody = 65534;

struct Agents {
  Agents() {
    for (int i = 0; i < kSessions; ++i) {
      pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setsid();
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(1);
        prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        pause();
        _exit(0);
      }
      pids.push_back(pid);
    }
    usleep(200000);  // until every child has changed its user
  }
  ~Agents() {
    for (pid_t pid : pids) kill(pid, SIGKILL);
    for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  }
  std::vector<pid_t> pids;
};

Agents& TheAgents() {
  static Agents agents;
  return agents;
}

std::vector<LoginSessionRecord> Records() {
  std::vector<LoginSessionRecord> records;
  for (pid_t pid : TheAgents().pids) {
    LoginSessionRecord r;
    r.id = "c5bench" + std::to_string(pid);
    r.user = kNobody;
    r.type = "x11";
    r.session_class = "user";
    r.state = "active";
    r.leader = pid;
    records.push_back(r);
  }
  return records;
}

std::unique_ptr<SessionGuard> MakeGuard() {
  GuardPolicy policy;
  policy.every_user = true;
  std::string self = std::string(kProcFolder) + "/self/";
  policy.agent_program = std::filesystem::read_symlink(self + "exe").string();
  // This program's own environment is the agents'.
  std::ifstream environ(self + "environ");
  std::string entry;
  while (std::getline(environ, entry, '\0')) {
    if (!EnvironmentEntryAllowed(entry, {})) policy.allowed_environment.push_back(entry);
  }
  ServerData data;
  GuardPlatform platform = MakeGuardPlatform(data);
  platform.list_sessions = Records;
  platform.has_computer_record = nullptr;
  auto guard = std::make_unique<SessionGuard>(policy, platform);
  for (pid_t pid : TheAgents().pids) guard->AgentAlive(pid, kNobody, 0);
  return guard;
}

void BM_GuardPass(benchmark::State& state) {
  auto guard = MakeGuard();
  guard->Pass(1);
  size_t ended = 0;
  for (auto _ : state) ended += guard->Pass(2).size();
  if (ended != 0) state.SkipWithError("a live agent's session was ended");
}
BENCHMARK(BM_GuardPass)->Unit(benchmark::kMicrosecond);

void BM_GuardFirstPass(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto guard = MakeGuard();
    state.ResumeTiming();
    benchmark::DoNotOptimize(guard->Pass(1));
  }
}
BENCHMARK(BM_GuardFirstPass)->Unit(benchmark::kMicrosecond);

// logind's records of 100 sessions, as sd-login reads them.
void BM_ReadSessionRecords(benchmark::State& state) {
  std::string folder(kLogindSessionsFolder);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::vector<std::string> files;
  for (const LoginSessionRecord& r : Records()) {
    files.push_back(folder + "/" + r.id);
    std::ofstream(files.back()) << "UID=" << r.user << "\nUSER=nobody\nACTIVE=1\nSTATE=active\n"
                                << "REMOTE=0\nTYPE=x11\nCLASS=user\nDISPLAY=:0\nLEADER=" << r.leader
                                << "\n";
  }
  size_t seen = 0;
  for (auto _ : state) seen = ListLoginSessions().size();
  for (const auto& f : files) std::remove(f.c_str());
  if (seen < kSessions) state.SkipWithError("cannot write logind's records here (not root?)");
}
BENCHMARK(BM_ReadSessionRecords)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
