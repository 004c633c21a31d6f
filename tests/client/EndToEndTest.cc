// The real server on a private root and a custom port, found under the real
// service type through the real avahi-daemon; c5engine as a child process.
#include <gtest/gtest.h>

#include <regex>

#include "ClientTestSupport.h"
#include "CorvaneLoader.h"
#include "Paths.h"
#include "Platform/System/FolderTreeSize.h"
#include "Platform/System/UserAccount.h"
#include "PlistFile.h"
#include "Preferences.h"
#include "SettingsRequests.h"

namespace corvane {
namespace {

using test::Child;
using test::RunProgram;

// The announced "_corvane5._tcp" services, as "name;port" lines.
const std::string kAnnounced =
    "avahi-browse -prt _corvane5._tcp 2>/dev/null | grep '^=' | cut -d';' -f4,9";

bool WaitForAnnouncement(uint16_t port, bool present) {
  return test::WaitForCommand(kAnnounced + " | grep -q ';" + std::to_string(port) + "$'", present,
                              10);
}

// USER is replaced by the account's short name.
const char* kSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>USER</key><dict>
<key>com.apple.loginwindow</key>
<dict><key>Credit</key><integer>125</integer><key>Enabled</key><true/></dict>
<key>com.quarlant.globalSettings</key>
<dict><key>DQ Enabled</key><true/><key>DQ Value</key><integer>3</integer></dict>
<key>c5test-term</key>
<dict><key>Credit</key><integer>33</integer><key>Enabled</key><true/></dict>
</dict></dict></plist>
)";

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
    std::string others = RunProgram({"sh", "-c", kAnnounced}).out;
    if (!others.empty()) GTEST_SKIP() << "another Corvane 5 server is announced: " << others;
    SetClientOptions({});
    root_ = std::make_unique<test::TempRoot>();
    std::string settings = kSettings;
    settings.replace(settings.find("USER"), 4, ShortUserName());
    test::MakeFolders(root_->Path(std::string(kSupportFolder)));
    test::WriteFileOrDie(root_->Path(std::string(kSettingsFile)), settings);
    port_ = test::FakeServer(nullptr).port();  // free once the server is gone
    SetPreference("Use custom port", Plist::String("1"));
    SetPreference("Custom port", Plist::String(std::to_string(port_)));
    ASSERT_TRUE(SynchronizePreferences());
    StartServer();
  }
  void TearDown() override { SetClientOptions({}); }

  void StartServer() {
    server_ = std::make_unique<Child>(std::vector<std::string>{CORVANE_SERVER});
    if (!WaitForAnnouncement(port_, true)) {
      server_.reset();
      GTEST_SKIP() << "the server did not come up (placeholder build?)";
    }
  }
  void StopServer() {
    server_.reset();
    ASSERT_TRUE(WaitForAnnouncement(port_, false));
  }

  std::unique_ptr<test::TempRoot> root_;
  uint16_t port_ = 0;
  std::unique_ptr<Child> server_;
};

// c5engine in a mount namespace of its own whose password database gives
// the account a full name with non-ASCII letters and a home folder we made;
// where none can be made, as it is (`namespaced` false).
test::RunResult RunEngine(const std::string& home, const std::vector<std::string>& args,
                          bool* namespaced) {
  std::string fake = home + "/../passwd";
  std::string script = "sed 's|^\\(" + ShortUserName() +
                       ":[^:]*:[^:]*:[^:]*:\\)[^:]*:[^:]*:|\\1Zoë Ærø-Łukasz,Room 1,,:" + home +
                       ":|' /etc/passwd >'" + fake + "' && mount --bind '" + fake +
                       "' /etc/passwd && exec \"$0\" \"$@\"";
  std::vector<std::string> argv{"unshare", "-m", "sh", "-c", script, C5ENGINE};
  argv.insert(argv.end(), args.begin(), args.end());
  test::RunResult run = RunProgram(argv, {"DISPLAY="});
  *namespaced = run.status == 1 && run.out.rfind(C5ENGINE, 0) == 0;
  argv.erase(argv.begin(), argv.begin() + 5);
  if (!*namespaced) run = RunProgram(argv, {"DISPLAY="});
  return run;
}

// Removes the discovery lines, whose instance name is the host's; lines of
// any other form stay and fail the comparison.
std::string WithoutDiscoveryLines(const std::string& out) {
  static const std::regex lines(
      "Found service at host: [^\n]*\\.local\nAddress 0 is: 127\\.0\\.0\\.1\n");
  return std::regex_replace(out, lines, "");
}

TEST_F(EndToEndTest, ServerRestartedIsFoundAgainEngineReportsWithServerPresentAndAbsent) {
  AppSettings s;
  FetchAppSettings(ShortUserName(), "com.apple.loginwindow", &s);
  EXPECT_TRUE(s.credit == 125 && s.enabled);
  EXPECT_EQ(RequestRefill(ShortUserName(), "com.apple.loginwindow"), 0);
  StopServer();
  StartServer();
  testing::internal::CaptureStderr();
  FetchAppSettings(ShortUserName(), "com.apple.loginwindow", &s);
  std::string notice = "CORVANE ERROR: Re-connecting to server (connection dropped)\n";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corvane client: connection lost.\n" + notice);
  EXPECT_EQ(s.credit, 125);

  std::string home = root_->path() + "/home/zoe";
  test::MakeFolders(home + "/Documents");
  test::WriteFileOrDie(home + "/Documents/essay.txt", std::string(300000, 'e'));
  test::WriteFileOrDie(home + "/.profile", std::string(5000, 'p'));
  bool namespaced = false;
  test::RunResult run =
      RunEngine(home, {"-diskStats", "50% done", "-timeStats", "-timeStats"}, &namespaced);
  std::string name = namespaced ? "Zoë Ærø-Łukasz" : FullUserName();
  std::string kib = std::to_string(FolderTreeSize(namespaced ? home : HomeFolder()) / 1024);
  EXPECT_EQ(run.status, 1);
  std::string expected = std::string(C5ENGINE) + "-diskStatsDATA\n" + name +
                         "\nDQ ENABLED\n3072\n" + kib + "\n50% done-timeStatsDATA\n" + name +
                         "\nENABLED\n125\n-timeStatsDATA\n" + name + "\nENABLED\n125\n";
  // Inside the isolated rig a namespace of its own is always possible.
  const char* rig = std::getenv("CORVANE_ISOLATED_RIG");
  EXPECT_TRUE(namespaced || rig == nullptr || std::string(rig) != "inside");
  if (namespaced) {
    EXPECT_EQ(WithoutDiscoveryLines(run.out), expected);
    EXPECT_EQ(kib, "297");  // 305,000 bytes
  }
  EXPECT_EQ(run.err, "");

  StopServer();
  run = RunEngine(home, {"-diskStats", "-timeStats"}, &namespaced);
  expected = std::string(C5ENGINE) + "-diskStatsDATA\n" + name + "\nDQ DISABLED\n0\n" + kib +
             "\n-timeStatsDATA\n" + name + "\nDISABLED\n--COMPUTER--\n0\n";
  EXPECT_TRUE(!namespaced || run.out == expected) << run.out;
  EXPECT_EQ(run.err, notice + notice + notice);
  EXPECT_GE(run.seconds, 17.5);  // three fetches, two discoveries each
}

TEST_F(EndToEndTest, TimeReportNamesTheFrontApplication) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == 0) GTEST_SKIP() << "no X display";
  std::string data = root_->path() + "/share";
  test::MakeFolders(data + "/applications");
  test::WriteFileOrDie(data + "/applications/c5test-term.desktop",
                       "[Desktop Entry]\nType=Application\nName=Test Terminal\n"
                       "StartupWMClass=C5TestTerm\nExec=xterm\n");
  Child term({"xterm", "-class", "C5TestTerm", "-e", "sleep", "60"});
  if (!test::WaitForCommand("xprop -id $(xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}') "
                            "_NET_WM_PID 2>/dev/null | grep -q '= " + std::to_string(term.pid()) +
                                "$'", true, 10)) {
    GTEST_SKIP() << "the test terminal did not become the active window";
  }
  test::RunResult r = RunProgram({C5ENGINE, "-timeStats"},
                                 {"XDG_DATA_DIRS=" + data, "XDG_DATA_HOME=" + data + "/none"});
  EXPECT_EQ(r.err, "Test Terminal\n");
  EXPECT_EQ(WithoutDiscoveryLines(r.out), std::string(C5ENGINE) + "-timeStatsDATA\n" +
                                              FullUserName() + "\nENABLED\n33\n");
}

}  // namespace
}  // namespace corvane
