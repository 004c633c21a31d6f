// The session guard against the tricks a child can play on the agent: the
// real server as root in a private root, the real agent as throwaway
// accounts on the X display, and login sessions written in logind's own
// format (logind is absent here). The guard's times are shortened through
// the root preference "Guard timing", which only a server in a private root
// takes; several sessions run at once so the suite stays quick.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Paths.h"
#include "Platform/System/ProcessFacts.h"
#include "Preferences.h"
#include "ProcessText.h"
#include "ServerHarness.h"
#include "SessionGuard.h"

namespace corvane {
namespace {

constexpr double kGrace = 12, kLiveness = 9, kPass = 0.5;
const char* kTiming = "12,9,0.5";
const char* kPrivateServiceType = "_c5guardtest._tcp";
const char* kFaketimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

// A login session: its leader, and logind's record of it.
struct Session {
  std::string id;
  uid_t uid = 0;
  std::string user;
  std::unique_ptr<test::LoginSession> login;
  std::string type = "x11";
  double ended_after = -1;  // seconds from the start until the leader ended
  pid_t leader() const { return login->leader(); }
};

class SessionGuardTest : public test::ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped()) return;
    if (geteuid() != 0) GTEST_SKIP() << "the guard needs a server running as root";
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0) GTEST_SKIP() << "no X display for the agent";
    if (access(kFaketimeLibrary, R_OK) != 0) GTEST_SKIP() << "libfaketime missing";
    if (std::system("command -v useradd >/dev/null") != 0) GTEST_SKIP() << "useradd missing";
    display_ = display;
    chmod(root_.path().c_str(), 0755);  // agents read the preferences there
    // Made here when logind is absent, and removed again if still empty.
    made_folder_ = std::filesystem::create_directories(std::string(kLogindSessionsFolder));
  }
  void TearDown() override {
    for (const Session& s : sessions_) {
      unlink((std::string(kLogindSessionsFolder) + "/" + s.id).c_str());
    }
    // Kills each leader's process group, with what a gone leader left behind.
    sessions_.clear();
    if (made_folder_) rmdir(std::string(kLogindSessionsFolder).c_str());
    if (HasFailure()) std::cerr << "server log:\n" << server_.Log();
  }

  // The guard's preferences: `guarded` accounts, the `unwatched` one, the
  // agent as the rig starts it, shortened times.
  void Prefs(const std::string& guarded, const std::string& unwatched) {
    std::string allowed = "CORVANE_ROOT=" + root_.path() +
                          ",CORVANE_LOCAL_SERVER_PORT=" + std::to_string(server_.port()) +
                          ",CORVANE_SERVICE_TYPE=" + kPrivateServiceType;
    SetPreference("Guarded users", Plist::String(guarded));
    SetPreference("Agent program", Plist::String(AGENT_PROGRAM));
    SetPreference("Agent environment allowed", Plist::String(allowed));
    SetPreference("Guard timing", Plist::String(kTiming));
    SetPreference("Non-watched account", Plist::String(unwatched));
    ASSERT_TRUE(SynchronizePreferences());
  }

  // The environment of an agent as the rig starts it, plus `extra`.
  std::vector<std::string> AgentEnvironment(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env{"PATH=/usr/bin:/bin", "HOME=/", "DISPLAY=" + display_,
                                 "CORVANE_ROOT=" + root_.path(),
                                 "CORVANE_LOCAL_SERVER_PORT=" + std::to_string(server_.port()),
                                 std::string("CORVANE_SERVICE_TYPE=") + kPrivateServiceType};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
  }
  // The leader stays when the agent goes, as a login's leader does.
  static std::string AgentCommand() { return "'" AGENT_PROGRAM "' & exec sleep 600"; }

  // Starts the leader; the record is written by Publish().
  void Begin(const std::string& id_suffix, uid_t uid, const std::string& user,
             const std::string& script, const std::vector<std::string>& env) {
    std::string id = "c5g" + std::to_string(getpid()) + id_suffix;
    auto login =
        std::make_unique<test::LoginSession>(root_.path() + "/" + id + ".out", script, env, true, uid);
    sessions_.push_back({id, uid, user, std::move(login)});
  }

  // logind's records of every session begun, as logind writes them (the
  // server reads no other of its files).
  void Publish() {
    for (const Session& s : sessions_) {
      bool graphical = s.type == "x11";
      std::string record =
          "# This is private data. Do not parse.\nUID=" + std::to_string(s.uid) + "\nUSER=" +
          s.user + "\nACTIVE=1\nIS_DISPLAY=" + (graphical ? "1" : "0") +
          "\nSTATE=active\nREMOTE=0\nTYPE=" + s.type + "\nORIGINAL_TYPE=" + s.type +
          "\nCLASS=user\n" + (graphical ? "DISPLAY=" + display_ + "\n" : "TTY=tty5\n") +
          "REALTIME=1765000000000000\nMONOTONIC=1000000\nLEADER=" + std::to_string(s.leader()) +
          "\n";
      // Written under a hidden name and renamed into place, as logind does:
      // the server never lists a temporary or reads half a record.
      const std::string folder(kLogindSessionsFolder);
      test::WriteFileOrDie(folder + "/." + s.id, record);
      ASSERT_EQ(rename((folder + "/." + s.id).c_str(), (folder + "/" + s.id).c_str()), 0);
    }
    start_ = std::chrono::steady_clock::now();
  }

  double Elapsed() const { return test::SecondsSince(start_); }

  // Until `seconds` after the start, reaping every leader that ended; the
  // seconds it took are kept.
  void WatchFor(double seconds) {
    for (; Elapsed() < seconds; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
      for (Session& s : sessions_) {
        if (s.ended_after < 0 && s.login->Ended()) s.ended_after = Elapsed();
      }
    }
  }

  // A process of the session's POSIX session (the one that runs the agent
  // program when `agent`), waited for up to `seconds`; -1 for none.
  static pid_t ProcessOf(const Session& s, bool agent = true, double seconds = 5) {
    pid_t found = -1;
    test::WaitFor([&] {
      for (const auto& entry : std::filesystem::directory_iterator(std::string(kProcFolder))) {
        pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0 || getsid(pid) != s.leader()) continue;
        ProcessFacts facts;
        if (!agent || (ReadProcessFacts(pid, false, &facts) && facts.executable == AGENT_PROGRAM)) {
          found = pid;
        }
      }
      return found > 0;
    }, seconds);
    return found;
  }

  std::string display_;
  std::vector<Session> sessions_;
  bool made_folder_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// One server guards every case at once. Each trick ends its session after
// the grace period, or the liveness window after the agent was last seen
// alive, and the log says why; the trick account is guarded through its
// enabled computer record alone. A healthy session lives across several
// grace periods and a server restart; an account that is not guarded, the
// non-watched account, root, and a session whose leader is gone are never
// touched.
TEST_F(SessionGuardTest, TricksEndTheirSessionsAndNothingElseEnds) {
  test::ScratchAccount child("a"), healthy("h"), unguarded("u"), unwatched("w");
  ASSERT_TRUE(child.valid() && healthy.valid() && unguarded.valid() && unwatched.valid())
      << "useradd failed";
  test::WriteSettingsFile(root_, child.name(), {{"com.apple.loginwindow", 60}});
  Prefs(healthy.name() + ", " + unwatched.name() + ", root", unwatched.name());
  ASSERT_TRUE(server_.Start({"local"}));

  std::string fake_root = root_.path() + "-child";  // a folder the child made
  std::string impostor =
      "import socket,struct,sys,time\n"
      "s=socket.create_connection(('127.0.0.1'," + std::to_string(server_.port()) + "))\n"
      "while True:\n s.sendall(struct.pack('>I',9)+bytes([8,0,0,0,0])); time.sleep(1)\n";
  struct Trick {
    const char* suffix;
    std::string script;
    std::vector<std::string> env;
    const char* why;
    double latest;  // seconds after the start by which it must have ended
  };
  std::vector<Trick> tricks = {
      // Their latest is set once their agents have said they are alive.
      {"k", AgentCommand(), AgentEnvironment(), "no agent", 0},
      {"s", AgentCommand(), AgentEnvironment(), "agent stopped", 0},
      {"n", "sleep 600", AgentEnvironment(), "no agent", kGrace},
      {"p", AgentCommand(),
       AgentEnvironment({std::string("LD_PRELOAD=") + kFaketimeLibrary, "FAKETIME=+2d"}),
       "agent environment changed", kGrace},
      {"r", AgentCommand(), AgentEnvironment({"CORVANE_ROOT=" + fake_root}),
       "agent environment changed", kGrace},
      {"i", "python3 -c \"$IMPOSTOR\" & exec sleep 600", AgentEnvironment({"IMPOSTOR=" + impostor}),
       "agent is not the installed program", kGrace},
      {"t", "sleep 600", AgentEnvironment(), "no agent", kGrace},
  };
#ifdef CORVANE_SANITIZED_AGENT
  // The sanitizer runtime refuses to start behind a preloaded library.
  tricks.erase(tricks.begin() + 3);
#endif
  for (const Trick& t : tricks) Begin(t.suffix, child.uid(), child.name(), t.script, t.env);
  sessions_.back().type = "tty";
  const size_t first_live = sessions_.size();
  Begin("h", healthy.uid(), healthy.name(), AgentCommand(), AgentEnvironment());
  Begin("u", unguarded.uid(), unguarded.name(), "sleep 600", AgentEnvironment());
  Begin("w", unwatched.uid(), unwatched.name(), "sleep 600", AgentEnvironment());
  Begin("0", 0, "root", "sleep 600", AgentEnvironment());
  // A leader that ended, leaving a process of its session behind.
  Begin("g", healthy.uid(), healthy.name(), "sleep 600 &", AgentEnvironment());
  Publish();
  test::WaitFor([this] { return sessions_.back().login->Ended(); });
  sessions_.back().ended_after = 0;
  pid_t left_behind = ProcessOf(sessions_.back(), false);

  // The agents of the first two are alive; then one is killed, one stopped.
  // An agent says it is alive before its first line, which a loaded machine
  // may take long to reach.
  for (int i : {0, 1}) {
    ASSERT_TRUE(sessions_[i].login->WaitForOutput("Preferences sync'ed.", kGrace))
        << sessions_[i].id << " printed:\n" << sessions_[i].login->Output();
  }
  tricks[0].latest = tricks[1].latest = Elapsed() + kLiveness;
  pid_t killed = ProcessOf(sessions_[0]), stopped = ProcessOf(sessions_[1]);
  ASSERT_GT(killed, 0);
  ASSERT_GT(stopped, 0);
  kill(killed, SIGKILL);
  kill(stopped, SIGSTOP);

  double slack = 2 * kPass + 2;
  WatchFor(kGrace + kLiveness + slack);
  for (size_t i = 0; i < tricks.size(); ++i) {
    const Session& s = sessions_[i];
    SCOPED_TRACE(s.id + " (" + tricks[i].why + ")");
    EXPECT_TRUE(Logged("Ended session " + s.id + " of user " + s.user + ": " + tricks[i].why));
    EXPECT_GE(s.ended_after, kGrace - 0.5) << "ended before the grace period was over";
    EXPECT_LE(s.ended_after, std::max(tricks[i].latest, kGrace) + slack);
  }
  // Each trick's session is ended once, and nothing else.
  EXPECT_EQ(test::Occurrences(server_.Log(), "Ended session"), tricks.size()) << server_.Log();

  // The server goes away and comes back while the agent runs; the agent
  // reconnects, and the new server gives every session the grace period.
  ASSERT_EQ(server_.Stop(), 0);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(server_.Start({"local"}));
  double restarted = Elapsed();
  WatchFor(restarted + kGrace + kLiveness + 2);
  EXPECT_FALSE(Logged("Ended session")) << server_.Log();
  for (size_t i = first_live; i + 1 < sessions_.size(); ++i) {
    EXPECT_LT(sessions_[i].ended_after, 0) << sessions_[i].id << " was ended";
  }
  EXPECT_GT(left_behind, 0);
  EXPECT_EQ(kill(left_behind, 0), 0) << "the process left by the gone leader was signalled";
  EXPECT_GT(ProcessOf(sessions_[first_live], true, 1), 0);
}

// The guard's readers of kernel texts, against what a child can put in
// them: a process name may hold ")" and blanks, and an environment may be
// padded to hide an entry.
TEST(ProcessTextTest, ProcessNamesCannotForgeStateOrSession) {
  struct Case {
    const char* stat;
    char state;
    int32_t session;
  };
  const Case cases[] = {
      {"1234 (Corvane 5 Login) S 1 1200 1200 0 -1", 'S', 1200},
      {"77 (x) R 1 1 1) T 1 77 77 0 -1", 'T', 77},  // the name is "x) R 1 1 1"
      {"77 ()) t 5 6 7 0", 't', 7},
  };
  for (const Case& c : cases) {
    auto fields = ParseProcStat(c.stat);
    ASSERT_TRUE(fields) << c.stat;
    EXPECT_EQ(fields->state, c.state) << c.stat;
    EXPECT_EQ(fields->posix_session, c.session) << c.stat;
  }
  for (const char* bad : {"", "12 (x", "12 (x) S", "12 (x) SS 1 2 3", "12 (x) S 1 2 nine"}) {
    EXPECT_FALSE(ParseProcStat(bad)) << bad;
  }
}

TEST(ProcessTextTest, EnvironmentRules) {
  std::string environ("PATH=/bin\0\0LD_PRELOAD=/x.so\0TZ=UTC", 34);
  EXPECT_EQ(SplitEnvironment(environ),
            (std::vector<std::string>{"PATH=/bin", "LD_PRELOAD=/x.so", "TZ=UTC"}));
  const std::vector<std::string> allowed = {"CORVANE_ROOT=/rig", "LD_PRELOAD=/usr/lib/vendor.so",
                                            "CORVANE_SERVICE_TYPE"};
  const std::pair<const char*, bool> cases[] = {
      {"PATH=/bin", true},
      {"CORVANE_ROOT=/rig", true},
      {"CORVANE_ROOT=/home/child/fake", false},
      {"CORVANE_ROOT", false},
      {"CORVANE_SERVICE_TYPE=_anything._tcp", true},
      {"LD_PRELOAD=/usr/lib/vendor.so", true},
      {"LD_PRELOAD=/usr/lib/vendor.so:/tmp/x.so", false},
      {"LD_LIBRARY_PATH=/tmp", false},
      {"LD_AUDIT=/tmp/a.so", false},
      {"FAKETIME=+2d", false},
      {"FAKETIME_DONT_RESET=1", false},
      {"TZ=Pacific/Kiritimati", false},
      {"QT_PLUGIN_PATH=/tmp", false},
      {"CORVANE_LOCAL_SERVER_PORT=1", false},
  };
  for (const auto& [entry, want] : cases) {
    EXPECT_EQ(EnvironmentEntryAllowed(entry, allowed), want) << entry;
  }
}

TEST(ProcessTextTest, KernelAndLogindTexts) {
  EXPECT_EQ(ParseProcStatus("Name:\tx\nTracerPid:\t42\nUid:\t1001\t0\t0\t0\n")->tracer, 42);
  EXPECT_FALSE(ParseProcStatus("Name:\tx\nUid:\t1001\t0\t0\t0\n"));
  EXPECT_EQ(UnifiedCgroupPath("1:name=systemd:/a\n0::/user.slice/session-3.scope\n"),
            "/user.slice/session-3.scope");
  EXPECT_EQ(SocketInodeOfLink("socket:[4242]"), 4242u);
  EXPECT_FALSE(SocketInodeOfLink("pipe:[4242]"));
  EXPECT_FALSE(SocketInodeOfLink("socket:[]"));
  EXPECT_EQ(StateFileValue("UID=1\nLEADERX=9\nLEADER=77\n", "LEADER"), "77");
  EXPECT_EQ(ParsePidList("12\n-3\nx\n0\n45"), (std::vector<int32_t>{12, 45}));
}

}  // namespace
}  // namespace corvane
