// The agent program as a session runs it: in a session of its own whose
// leader stands for the login session, on the X display, against the real
// server in a private root. Minutes pass ten times faster under faketime;
// the agent counts them itself.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include "ClientTestSupport.h"
#include "Paths.h"
#include "Platform/System/UserAccount.h"
#include "PlistFile.h"
#include "Preferences.h"
#include "ServerHarness.h"

namespace corvane {
namespace {

constexpr double kMinute = 6.0;  // seconds of real time per agent minute

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// No refill before this (2034): credits stay as written.
constexpr double kNoRefill = 2000000000;

class AgentSessionTest : public test::ServerTest {
 protected:
  void SetUp() override {
#ifdef CORVANE_SANITIZED_AGENT
    GTEST_SKIP() << "libfaketime deadlocks in the start-up of a sanitizer build";
#endif
    ServerTest::SetUp();
    if (IsSkipped()) return;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0) GTEST_SKIP() << "no X display";
    if (!Shell("command -v xdotool >/dev/null && command -v faketime >/dev/null"))
      GTEST_SKIP() << "xdotool or faketime missing";
    chmod(root_.path().c_str(), 0755);  // an agent running as nobody reads its preferences
    data_ = root_.path() + "/share";
    test::MakeFolders(data_ + "/applications");
    test::WriteFileOrDie(data_ + "/applications/c5test-term.desktop",
                         "[Desktop Entry]\nType=Application\nName=Test Terminal\n"
                         "StartupWMClass=C5TestTerm\nExec=xterm\n");
    test::WriteFileOrDie(data_ + "/applications/c5test-off.desktop",
                         "[Desktop Entry]\nType=Application\nName=Free Terminal\n"
                         "StartupWMClass=C5TestOff\nExec=xterm\n");
  }
  void TearDown() override {
    if (agent_ && HasFailure()) {
      std::cerr << "agent output:\n" << agent_->Output() << "server running: "
                << server_.Running() << ", log:\n" << server_.Log() << server_.Stdout();
    }
    agent_.reset();  // the agent is in the leader's group
  }

  bool StartServer() {
    return server_.Start() && test::WaitForCommand(
        "avahi-browse -prt _corvane5._tcp 2>/dev/null | grep -q '^='", true, 10);
  }
  void SetPref(const char* key, Plist value) {
    SetPreference(key, std::move(value));
    ASSERT_TRUE(SynchronizePreferences());
  }
  // The agent with its clocks ten times as fast, as `user` when given, in a
  // new session whose leader is a shell of this test's user.
  void StartAgent(const std::string& user = "") {
    // A login records its user on the session's leader (the login uid),
    // which is how the server knows whose session a root-owned leader is.
    uid_t login_uid = user.empty() ? 0 : getpwnam(user.c_str())->pw_uid;
    std::string as_user = user.empty() ? "" : "runuser -u " + user + " -- ";
    agent_ = std::make_unique<test::LoginSession>(
        root_.path() + "/agent.out", as_user + "faketime -f '+0 x10' '" AGENT_PROGRAM "' & wait",
        std::vector<std::string>{"XDG_DATA_DIRS=" + data_, "XDG_DATA_HOME=" + data_ + "/none",
                                 "CORVANE_LOCAL_SERVER_PORT=" + std::to_string(server_.port())},
        false, 0, login_uid);
  }
  // Waits until a blocking message whose title matches `pattern` is shown
  // (`shown`) or gone.
  static bool Message(const std::string& pattern, double seconds, bool shown = true) {
    return test::WaitForCommand("xdotool search --onlyvisible --name '" + pattern + "' >/dev/null",
                                shown, seconds);
  }
  // Clicks the message away: a click that comes before the message holds the
  // pointer is lost, so the click is repeated until the window is gone.
  static bool Dismiss(const std::string& pattern) {
    for (int tries = 0; tries < 20; ++tries) {
      Shell("xdotool mousemove 640 400 click 1");
      if (Message(pattern, 1, false)) return true;
    }
    return false;
  }
  std::string Stats() const { return server_.DataFile("stats.plist"); }
  // Whether `app` shows up in the statistics file within `seconds`.
  bool Charged(const std::string& app, double seconds) {
    return test::WaitFor([&] { return Stats().find(app) != std::string::npos; }, seconds);
  }

  std::string data_;
  std::unique_ptr<test::LoginSession> agent_;
};

// The name's letter case is the start-up step's own test; here, that the
// program stays idle when the step says so.
TEST_F(AgentSessionTest, NonWatchedAccountStaysIdle) {
  test::WriteSettingsFile(root_, ShortUserName(), {{"com.apple.loginwindow", 0}}, kNoRefill);
  ASSERT_TRUE(StartServer());
  ASSERT_TRUE(SetPlistFileKey(root_.Path(std::string(kPreferenceFile)), "Non-watched account",
                              Plist::String(ShortUserName())).ok());
  StartAgent();
  EXPECT_TRUE(agent_->WaitForOutput("Preferences sync'ed.\nCannot watch this user.\n", 10));
  // No credit at all, yet two minutes later nothing has been charged or ended.
  std::this_thread::sleep_for(std::chrono::duration<double>(2 * kMinute));
  EXPECT_FALSE(agent_->Ended());
  EXPECT_EQ(Stats().find("com.apple.loginwindow"), std::string::npos);
}

TEST_F(AgentSessionTest, ConfigurationOneWaitsIdleAndTwoRetriesUntilTheServerComes) {
  test::WriteSettingsFile(root_, ShortUserName(), {{"com.apple.loginwindow", 50}}, kNoRefill);
  SetPref("Configuration", Plist::Integer(1, 8));
  StartAgent();
  EXPECT_TRUE(agent_->WaitForOutput("Cannot contact server err = ", 60));
  ASSERT_TRUE(Message("cannot be reached", 30));
  ASSERT_TRUE(Dismiss("cannot be reached"));
  EXPECT_FALSE(Message("cannot be reached", 2 * kMinute));  // shown once only
  TearDown();

  SetPref("Configuration", Plist::Integer(2, 8));
  StartAgent();
  EXPECT_TRUE(agent_->WaitForOutput("Cannot contact server err = ", 60));
  EXPECT_TRUE(Message("Trying again", 30));
  ASSERT_TRUE(StartServer());
  // The retry two agent minutes later connects, takes the message away and
  // starts counting the session. The waits end with the event; their limits
  // leave room for a loaded machine.
  EXPECT_TRUE(Message("Trying again", 6 * kMinute, false));
  EXPECT_TRUE(Charged("com.apple.loginwindow", 6 * kMinute));
}

// The session's leader belongs to root and the agent to nobody: the agent's
// own signal is refused and the server kills for it.
TEST_F(AgentSessionTest, ComputerWithoutCreditEndsTheSessionThroughTheServer) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the agent as another user";
  if (test::ReadFileOrEmpty("/proc/self/loginuid") != "4294967295")
    GTEST_SKIP() << "this process has a login uid, so its children cannot record another";
  test::WriteSettingsFile(root_, "nobody", {{"com.apple.loginwindow", 0}}, kNoRefill);
  SetPref("Last Minute Credit", Plist::String("0"));
  ASSERT_TRUE(StartServer());
  StartAgent("nobody");
  ASSERT_TRUE(Message("Credit low|your session", 30));
  ASSERT_TRUE(Dismiss("Credit low|your session"));
  EXPECT_TRUE(test::WaitFor([this] { return agent_->Ended(); }, 10));
  std::string killed = "Killed -9 pid " + std::to_string(agent_->leader());
  EXPECT_TRUE(test::WaitFor([&] { return Logged(killed); }, 5));
}

// Keys follow the program: a renamed copy of the watched terminal started
// with a class of its own is charged to the terminal and ended by the
// agent's own signal with its credit, even when its class is rewritten
// later. (A program no entry names is "Other applications" in the window
// list's test and charged as such in the logic's.)
TEST_F(AgentSessionTest, RenamedCopyEndsAtItsLimit) {
  test::WriteSettingsFile(root_, ShortUserName(), {{"com.apple.loginwindow", 100}, {"c5test-term", 2}},
                          kNoRefill);
  ASSERT_TRUE(StartServer());
  std::string copy = root_.path() + "/homework";
  ASSERT_TRUE(Shell("cp \"$(command -v xterm)\" '" + copy + "'"));
  test::Child renamed({copy, "-class", "Homework", "-e", "sleep", "600"});
  ASSERT_TRUE(test::WaitForCommand("xdotool search --onlyvisible --class Homework >/dev/null", true, 10));
  StartAgent();
  EXPECT_TRUE(Charged("c5test-term", 20));
  EXPECT_TRUE(Shell("xdotool search --class Homework set_window --class C5TestOff"));
  if (Message("Credit low|Test Terminal", 2 * kMinute)) {
    Shell("import -window root '" + std::string(CORVANE_BINARY_DIR) + "/renamed-copy-warning.png'");
    Dismiss("Credit low|Test Terminal");
  }
  EXPECT_TRUE(test::WaitFor([&] { return renamed.Ended(); }, 2 * kMinute));
  EXPECT_TRUE(agent_->WaitForOutput("Killed pid " + std::to_string(renamed.pid()) + " ourself!", 2));
  EXPECT_EQ(Stats().find("c5test-off"), std::string::npos);
  EXPECT_FALSE(agent_->Ended());
}

}  // namespace
}  // namespace corvane
