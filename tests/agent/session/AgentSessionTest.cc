// The agent program as a session runs it: in a session of its own whose
// leader stands for the login session, on the X display, against the real
// server in a private root. Minutes pass ten times faster under faketime;
// the agent counts them itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <cstdlib>
#include <memory>
#include <thread>

#include "ClientTestSupport.h"
#include "Paths.h"
#include "Platform/System/UserAccount.h"
#include "AbsoluteTime.h"
#include "Platform/System/Clock.h"
#include "PlistFile.h"
#include "Preferences.h"
#include "ServerHarness.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMinute = 6.0;  // seconds of real time per agent minute
const char* kFast = "+0 x10";

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string AppEntry(const std::string& key, int credit, bool enabled,
                     const std::string& extra = "") {
  return "<key>" + key + "</key><dict><key>Credit</key><integer>" + std::to_string(credit) +
         "</integer><key>Enabled</key><" + (enabled ? "true" : "false") + "/>" +
         "<key>NextAutoUpdate</key><real>2000000000</real>" + extra +  // no refill in 2026
         "</dict>";
}

class AgentSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef CORVANE_SANITIZED_AGENT
    GTEST_SKIP() << "libfaketime deadlocks in the start-up of a sanitizer build";
#endif
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0) GTEST_SKIP() << "no X display";
    if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
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
    test::MakeFolders(root_.Path(std::string(kSupportFolder)));
  }
  void TearDown() override {
    if (agent_ && HasFailure()) {
      agent_->WaitForOutput("\x01", 0.2);
      std::cerr << "agent output:\n" << agent_->output() << "server running: "
                << server_.Running() << ", log:\n" << server_.Log() << server_.Stdout();
    }
    if (leader_ > 0) kill(-leader_, SIGKILL);  // the agent is in the leader's group
    agent_.reset();
  }

  void WriteSettings(const std::string& user, const std::string& entries) {
    test::WriteFileOrDie(root_.Path(std::string(kSettingsFile)),
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                         "<key>" + user + "</key><dict>" + entries + "</dict></dict></plist>\n");
  }
  bool StartServer() {
    return server_.Start() && test::WaitForCommand(
        "avahi-browse -prt _corvane5._tcp 2>/dev/null | grep -q '^='", true, 10);
  }
  void SetPref(const char* key, Plist value) {
    SetPreference(key, std::move(value));
    ASSERT_TRUE(SynchronizePreferences());
  }
  // The agent under faketime (`fake_time` like "+0 x10" or "@2026-12-12 12:00:00 x10"),
  // as `user` when given, in a new session whose leader is a shell of this
  // test's user.
  void StartAgent(const std::string& fake_time = kFast, const std::string& user = "") {
    // A login records its user on the session's leader (the login uid),
    // which is how the server knows whose session a root-owned leader is.
    std::string login = user.empty() ? "" : "echo $(id -u " + user + ") >/proc/self/loginuid; ";
    std::vector<std::string> argv{"setsid", "sh", "-c", login + "\"$@\" & wait", "leader"};
    if (!user.empty()) argv.insert(argv.end(), {"runuser", "-u", user, "--"});
    argv.insert(argv.end(), {"env", "XDG_DATA_DIRS=" + data_, "XDG_DATA_HOME=" + data_ + "/none",
                             "CORVANE_LOCAL_SERVER_PORT=" + std::to_string(server_.port()),
                             "faketime", "-f", fake_time, AGENT_PROGRAM});
    agent_ = std::make_unique<test::Child>(argv);
    leader_ = agent_->pid();
  }
  bool LeaderAlive() {
    return kill(leader_, 0) == 0 &&
           test::ReadFileOrEmpty("/proc/" + std::to_string(leader_) + "/stat").find(") Z") ==
               std::string::npos;
  }
  // Waits for a blocking message whose title matches `pattern`.
  static bool MessageShown(const std::string& pattern, double seconds) {
    if (!test::WaitForCommand("xdotool search --onlyvisible --name '" + pattern + "' >/dev/null",
                              true, seconds)) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // until it holds the pointer
    return true;
  }
  static void Click() { Shell("xdotool mousemove 640 400 click 1"); }
  std::string Stats() const { return server_.DataFile("stats.plist"); }
  // Whether `app` shows up in the statistics file within `seconds`.
  bool Charged(const std::string& app, double seconds) {
    return test::WaitFor([&] { return Stats().find(app) != std::string::npos; }, seconds);
  }

  test::TempRoot root_;
  test::ServerProcess server_{root_};
  std::string data_;
  std::unique_ptr<test::Child> agent_;
  pid_t leader_ = -1;
};

// Waits until `pid` has ended (or is a zombie); the seconds it took, or -1.
double SecondsUntilGone(pid_t pid, double limit) {
  auto start = Clock::now();
  while (std::chrono::duration<double>(Clock::now() - start).count() < limit) {
    std::string stat = test::ReadFileOrEmpty("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty() || stat.find(") Z") != std::string::npos)
      return std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return -1;
}

// An xterm of window class `cls`, once its window is up.
std::unique_ptr<test::Child> Terminal(const std::string& cls) {
  auto term = std::make_unique<test::Child>(
      std::vector<std::string>{"xterm", "-class", cls, "-e", "sleep", "600"});
  test::WaitForCommand("xdotool search --onlyvisible --class " + cls + " >/dev/null", true, 10);
  return term;
}

std::string Curfew(const char* day, int start, int stop) {
  return std::string("<key>") + day + " Curfew Enabled</key><true/><key>" + day +
         " start</key><integer>" + std::to_string(start) + "</integer><key>" + day +
         " stop</key><integer>" + std::to_string(stop) + "</integer>";
}

TEST_F(AgentSessionTest, NonWatchedAccountInAnyCaseStaysIdle) {
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 0, true));
  ASSERT_TRUE(StartServer());
  std::string upper;
  for (char c : ShortUserName()) upper += static_cast<char>(std::toupper(c));
  ASSERT_TRUE(SetPlistFileKey(root_.Path(std::string(kPreferenceFile)), "Non-watched account",
                              Plist::String(upper)).ok());
  StartAgent();
  EXPECT_TRUE(agent_->WaitForOutput("Preferences sync'ed.\nCannot watch this user.\n", 10));
  // No credit at all, yet two minutes later nothing has been charged or ended.
  std::this_thread::sleep_for(std::chrono::duration<double>(2 * kMinute));
  EXPECT_TRUE(LeaderAlive());
  EXPECT_EQ(Stats().find("com.apple.loginwindow"), std::string::npos);
}

TEST_F(AgentSessionTest, ConfigurationOneWaitsIdleAndTwoRetriesUntilTheServerComes) {
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 50, true));
  SetPref("Configuration", Plist::Integer(1, 8));
  StartAgent();
  EXPECT_TRUE(agent_->WaitForOutput("Cannot contact server err = ", 30));
  EXPECT_TRUE(MessageShown("cannot be reached", 10));
  Click();
  EXPECT_FALSE(MessageShown("cannot be reached", 2 * kMinute));  // shown once only
  TearDown();

  SetPref("Configuration", Plist::Integer(2, 8));
  StartAgent();
  EXPECT_TRUE(agent_->WaitForOutput("Cannot contact server err = ", 30));
  EXPECT_TRUE(MessageShown("Trying again", 10));
  ASSERT_TRUE(StartServer());
  // The retry two agent minutes later connects, takes the message away and
  // starts counting the session.
  EXPECT_TRUE(test::WaitForCommand("! xdotool search --onlyvisible --name 'Trying again' >/dev/null", true,
                                   3 * kMinute));
  EXPECT_TRUE(Charged("com.apple.loginwindow", 3 * kMinute));
}

TEST_F(AgentSessionTest, EnabledAppIsChargedWarnedAndKilledDisabledAppIsLeftAlone) {
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 100, true) +
                                     AppEntry("c5test-term", 2, true) +
                                     AppEntry("c5test-off", 5, false));
  ASSERT_TRUE(StartServer());
  auto watched = Terminal("C5TestTerm");
  auto free = Terminal("C5TestOff");
  StartAgent();
  // Charged at once, warned at the next minute, killed a minute after the
  // warning goes.
  EXPECT_TRUE(Charged("c5test-term", 20));
  ASSERT_TRUE(MessageShown("Credit low|Test Terminal", 2 * kMinute));
  Click();
  double gone = SecondsUntilGone(watched->pid(), 3 * kMinute);
  EXPECT_GT(gone, 0.6 * kMinute);
  EXPECT_LT(gone, 1.6 * kMinute);
  EXPECT_TRUE(agent_->WaitForOutput("Killed pid " + std::to_string(watched->pid()) + " ourself!", 2));
  EXPECT_EQ(SecondsUntilGone(free->pid(), 1), -1);
  EXPECT_EQ(Stats().find("c5test-off"), std::string::npos);
  EXPECT_TRUE(LeaderAlive());
}

// The session's leader belongs to root and the agent to nobody: the agent's
// own signal is refused and the server kills for it.
TEST_F(AgentSessionTest, ComputerWithoutCreditEndsTheSessionThroughTheServer) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the agent as another user";
  if (test::ReadFileOrEmpty("/proc/self/loginuid") != "4294967295")
    GTEST_SKIP() << "this process has a login uid, so its children cannot record another";
  WriteSettings("nobody", AppEntry("com.apple.loginwindow", 0, true));
  SetPref("Last Minute Credit", Plist::String("0"));
  ASSERT_TRUE(StartServer());
  StartAgent(kFast, "nobody");
  ASSERT_TRUE(MessageShown("Credit low|your session", 30));
  Click();
  EXPECT_GT(SecondsUntilGone(leader_, 10), 0);
  EXPECT_TRUE(test::WaitForCommand("grep -q 'Killed -9 pid " + std::to_string(leader_) + "' '" +
                                   root_.Path(std::string(kServerLogFile)) + "'", true, 5));
  EXPECT_EQ(agent_->output().find("ourself"), std::string::npos);
}

TEST_F(AgentSessionTest, CurfewKillsTheAppOnWeekdaysAndEndsTheSessionAtWeekends) {
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 100, true) +
                                     AppEntry("c5test-term", 50, true,
                                              Curfew("WD", 780, 1439) + Curfew("WE", 780, 1439)));
  ASSERT_TRUE(StartServer());
  auto term = Terminal("C5TestTerm");
  StartAgent("@2026-12-09 12:00:00 x10");  // a Wednesday, an hour too early
  ASSERT_TRUE(MessageShown("Curfew|13:00|1:00", 20));
  Click();
  double gone = SecondsUntilGone(term->pid(), 2 * kMinute);
  EXPECT_GT(gone, 0);
  EXPECT_TRUE(LeaderAlive());
  TearDown();

  term = Terminal("C5TestTerm");
  StartAgent("@2026-12-12 12:00:00 x10");  // a Saturday
  ASSERT_TRUE(MessageShown("Curfew|13:00|1:00", 20));
  Click();
  EXPECT_GT(SecondsUntilGone(leader_, 2 * kMinute), 0);
}

// The home folder is a folder of the test's, mounted over the user's home in
// the private mount namespace of the isolated rig.
TEST_F(AgentSessionTest, DiskQuotaEndsTheSessionUnlessFilesAreDeleted) {
  const char* rig = std::getenv("CORVANE_ISOLATED_RIG");
  if (rig == nullptr || std::string(rig) != "inside") GTEST_SKIP() << "needs a private mount namespace";
  std::string home = root_.path() + "/home";
  test::MakeFolders(home);
  std::string real_home = test::RunProgram({"sh", "-c", "getent passwd $(id -u) | cut -d: -f6"}).out;
  real_home.erase(real_home.find_last_not_of('\n') + 1);
  ASSERT_TRUE(Shell("mount --bind '" + home + "' '" + real_home + "'"));
  struct Unmount {
    std::string path;
    ~Unmount() { Shell("umount '" + path + "'"); }
  } unmount{real_home};
  test::WriteFileOrDie(home + "/big", std::string(3 << 20, 'x'));
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 100, true) +
                                     "<key>com.quarlant.globalSettings</key><dict><key>DQ Enabled"
                                     "</key><true/><key>DQ Value</key><integer>2</integer></dict>");
  ASSERT_TRUE(StartServer());
  StartAgent();
  ASSERT_TRUE(MessageShown("home folder|Disk Space", 20));
  Click();
  unlink((home + "/big").c_str());  // within the quota again: the countdown starts over
  std::this_thread::sleep_for(std::chrono::duration<double>(3.5 * kMinute));
  EXPECT_TRUE(LeaderAlive());
  test::WriteFileOrDie(home + "/big", std::string(3 << 20, 'x'));
  ASSERT_TRUE(MessageShown("home folder|Disk Space", 2 * kMinute));
  Click();
  double gone = SecondsUntilGone(leader_, 4 * kMinute);
  EXPECT_GT(gone, 1.0 * kMinute);
  EXPECT_LT(gone, 3.0 * kMinute);
}

// Keys follow the program: a renamed copy of the watched terminal started
// with a class of its own is charged to the terminal and ended with its
// credit, even when its class is rewritten later; a program no entry names
// is charged to "Other applications" and ended at that limit.
TEST_F(AgentSessionTest, RenamedCopyAndOtherApplicationsEndAtTheirLimits) {
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 100, true) +
                                     AppEntry("c5test-term", 2, true) +
                                     AppEntry("com.quarlant.otherApps", 2, true));
  ASSERT_TRUE(StartServer());
  std::string copy = root_.path() + "/homework";
  ASSERT_TRUE(Shell("cp \"$(command -v xterm)\" '" + copy + "'"));
  test::Child renamed({copy, "-class", "Homework", "-e", "sleep", "600"});
  test::Child eyes({"xeyes"});
  for (const char* cls : {"Homework", "XEyes"}) {
    ASSERT_TRUE(test::WaitForCommand(std::string("xdotool search --onlyvisible --class ") + cls +
                                     " >/dev/null", true, 10));
  }
  StartAgent();
  EXPECT_TRUE(Charged("c5test-term", 20));
  EXPECT_TRUE(Charged("com.quarlant.otherApps", 20));
  EXPECT_TRUE(Shell("xdotool search --class Homework set_window --class C5TestOff"));
  for (int warnings = 0; warnings < 2; ++warnings) {
    if (!MessageShown("Credit low|Test Terminal|Other applications", 2 * kMinute)) continue;
    Shell("import -window root '" + std::string(CORVANE_BINARY_DIR) + "/other-apps-warning-" +
          std::to_string(warnings) + ".png'");
    Click();
  }
  EXPECT_GT(SecondsUntilGone(renamed.pid(), 2 * kMinute), 0);
  EXPECT_GT(SecondsUntilGone(eyes.pid(), 1 * kMinute), 0);
  EXPECT_EQ(Stats().find("c5test-off"), std::string::npos);
  EXPECT_TRUE(LeaderAlive());
}

// "Other applications" off: nothing new is charged. A watched program
// relaunched after its last minute of the day gets the no-credit warning
// and ends when it closes.
TEST_F(AgentSessionTest, NoSecondLastMinuteAndOtherApplicationsOffChargeNothing) {
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 100, true) +
                                     AppEntry("c5test-term", 0, true));
  test::WriteFileOrDie(root_.Path(std::string(kStatsFile)),
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                       "<key>" + ShortUserName() + "</key><dict><key>c5test-term</key><dict>"
                       "<key>Stats</key><dict><key>" + DayKey(CurrentAbsoluteTime()) +
                       "</key><integer>1</integer></dict></dict></dict></dict></plist>\n");
  ASSERT_TRUE(StartServer());
  test::Child eyes({"xeyes"});
  auto term = Terminal("C5TestTerm");
  StartAgent();
  ASSERT_TRUE(MessageShown("Credit low|Test Terminal", 20));
  Shell("import -window root '" + std::string(CORVANE_BINARY_DIR) + "/no-last-minute.png'");
  Click();
  double gone = SecondsUntilGone(term->pid(), 10);
  EXPECT_GT(gone, 0);
  EXPECT_LT(gone, 0.5 * kMinute);
  std::this_thread::sleep_for(std::chrono::duration<double>(1.2 * kMinute));
  EXPECT_EQ(SecondsUntilGone(eyes.pid(), 0.5), -1);
  EXPECT_EQ(Stats().find("com.quarlant.otherApps"), std::string::npos);
}

TEST_F(AgentSessionTest, ServerGoneMidSessionStillWarnsAndKills) {
  WriteSettings(ShortUserName(), AppEntry("com.apple.loginwindow", 100, true) +
                                     AppEntry("c5test-term", 2, true));
  ASSERT_TRUE(StartServer());
  auto term = Terminal("C5TestTerm");
  StartAgent();
  EXPECT_TRUE(Charged("c5test-term", 20));
  server_.Kill9();
  // The agent counts on from the last credit it was told: the last minute
  // is warned of at the next boundary and the terminal ends a minute later.
  EXPECT_TRUE(MessageShown("Credit low|Test Terminal", 2 * kMinute));
  Click();
  EXPECT_GT(SecondsUntilGone(term->pid(), 2.5 * kMinute), 0);
  EXPECT_TRUE(LeaderAlive());
  EXPECT_TRUE(agent_->WaitForOutput("Server away", 1));
}

}  // namespace
}  // namespace corvane
