// The real server on a private root and a custom port, found under the real
// service type through the real avahi-daemon; c5engine as a child process.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "ClientTestSupport.h"
#include "CorvaneLoader.h"
#include "Paths.h"
#include "Platform/FolderTreeSize.h"
#include "Platform/UserAccount.h"
#include "PlistFile.h"
#include "Preferences.h"
#include "SettingsRequests.h"
#include "TestSupport.h"

namespace corvane {
namespace {

using test::Child;
using test::RunProgram;

uint16_t FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// The announced "_corvane5._tcp" services, as "name;port" lines.
std::string AnnouncedServers() {
  FILE* p = popen("avahi-browse -prt _corvane5._tcp 2>/dev/null | grep '^=' | cut -d';' -f4,9",
                  "r");
  std::string out;
  char chunk[512];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, n);
  pclose(p);
  return out;
}

bool WaitForAnnouncement(uint16_t port, bool present) {
  for (int i = 0; i < 40; ++i) {
    bool seen = AnnouncedServers().find(";" + std::to_string(port) + "\n") != std::string::npos;
    if (seen == present) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  return false;
}

const char* kSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>USER</key>
	<dict>
		<key>com.apple.loginwindow</key>
		<dict>
			<key>Credit</key>
			<integer>125</integer>
			<key>Enabled</key>
			<true/>
		</dict>
		<key>com.quarlant.globalSettings</key>
		<dict>
			<key>DQ Enabled</key>
			<true/>
			<key>DQ Value</key>
			<integer>3</integer>
		</dict>
		<key>c5test-term</key>
		<dict>
			<key>Credit</key>
			<integer>33</integer>
			<key>Enabled</key>
			<true/>
		</dict>
	</dict>
</dict>
</plist>
)";

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::AvahiAvailable()) GTEST_SKIP() << "avahi-daemon is not running";
    std::string others = AnnouncedServers();
    if (!others.empty()) GTEST_SKIP() << "another Corvane 5 server is announced: " << others;
    ResetClientStateForTesting();
    root_ = std::make_unique<test::TempRoot>();
    std::string settings = kSettings;
    settings.replace(settings.find("USER"), 4, ShortUserName());
    test::MakeFolders(root_->Path(std::string(kSupportFolder)));
    test::WriteFileOrDie(root_->Path(std::string(kSettingsFile)), settings);
    port_ = FreePort();
    SetPreference("Use custom port", Plist::String("1"));
    SetPreference("Custom port", Plist::String(std::to_string(port_)));
    ASSERT_TRUE(SynchronizePreferences());
    StartServer();
  }
  void TearDown() override { ResetClientStateForTesting(); }

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

TEST_F(EndToEndTest, ServerKilledAndRestartedIsFoundAgain) {
  AppSettings s;
  FetchAppSettings(ShortUserName(), "com.apple.loginwindow", &s);
  EXPECT_EQ(s.Credit, 125);
  EXPECT_TRUE(s.Enabled);
  EXPECT_EQ(RequestRefill(ShortUserName(), "com.apple.loginwindow"), 0);

  StopServer();
  StartServer();
  testing::internal::CaptureStderr();
  FetchAppSettings(ShortUserName(), "com.apple.loginwindow", &s);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Corvane client: connection lost.\n"
            "CORVANE ERROR: Re-connecting to server (connection dropped)\n");
  EXPECT_EQ(s.Credit, 125);
}

// c5engine in a mount namespace of its own whose password database gives
// the account a full name with non-ASCII letters and a home folder we made.
struct EngineRun {
  test::RunResult result;
  bool namespaced = false;
};

EngineRun RunEngine(const std::string& home, const std::vector<std::string>& args,
                    const std::vector<std::string>& env) {
  // name:password:uid:gid:GECOS:home:shell
  std::string fake = home + "/../passwd";
  std::string script = "sed 's|^\\(" + ShortUserName() +
                       ":[^:]*:[^:]*:[^:]*:\\)[^:]*:[^:]*:|\\1Zoë Ærø-Łukasz,Room 1,,:" + home +
                       ":|' /etc/passwd >'" + fake + "' && mount --bind '" + fake +
                       "' /etc/passwd && exec \"$0\" \"$@\"";
  std::vector<std::string> argv{"unshare", "-m", "sh", "-c", script, C5ENGINE};
  argv.insert(argv.end(), args.begin(), args.end());
  EngineRun run{RunProgram(argv, env), true};
  if (run.result.status != 1 || run.result.out.rfind(C5ENGINE, 0) != 0) {
    argv.erase(argv.begin(), argv.begin() + 5);
    run = EngineRun{RunProgram(argv, env), false};
  }
  return run;
}

// Removes the discovery lines (whose instance name is the host's) after
// checking their form.
std::string WithoutDiscoveryLines(std::string out) {
  const std::string found = "Found service at host: ";
  size_t at;
  while ((at = out.find(found)) != std::string::npos) {
    size_t end = out.find('\n', at);
    EXPECT_EQ(out.substr(end - 6, 6), ".local");
    out.erase(at, end + 1 - at);
    std::string address = "Address 0 is: 127.0.0.1\n";
    EXPECT_EQ(out.compare(at, address.size(), address), 0) << out;
    out.erase(at, address.size());
  }
  return out;
}

TEST_F(EndToEndTest, EngineReportsWithServerPresentAndAbsent) {
  std::string home = root_->path() + "/home/zoe";
  test::MakeFolders(home + "/Documents");
  test::WriteFileOrDie(home + "/Documents/essay.txt", std::string(300000, 'e'));
  test::WriteFileOrDie(home + "/.profile", std::string(5000, 'p'));
  std::vector<std::string> args{"-diskStats", "50% done", "-timeStats", "-timeStats"};
  std::vector<std::string> no_display{"DISPLAY="};

  EngineRun run = RunEngine(home, args, no_display);
  std::string name = run.namespaced ? "Zoë Ærø-Łukasz" : FullUserName();
  std::string kib = std::to_string(FolderTreeSize(run.namespaced ? home : HomeFolder()) / 1024);
  EXPECT_EQ(run.result.status, 1);
  std::string expected = std::string(C5ENGINE) + "-diskStatsDATA\n" + name + "\nDQ ENABLED\n3072\n" +
                         kib + "\n50% done-timeStatsDATA\n" + name + "\nENABLED\n125\n" +
                         "-timeStatsDATA\n" + name + "\nENABLED\n125\n";
  // Inside the isolated rig a namespace of its own is always possible.
  const char* rig = std::getenv("CORVANE_ISOLATED_RIG");
  if (rig != nullptr && std::string(rig) == "inside") {
    EXPECT_TRUE(run.namespaced);
  }
  if (run.namespaced) {
    EXPECT_EQ(WithoutDiscoveryLines(run.result.out), expected);
    EXPECT_EQ(kib, "297");  // 305,000 bytes
  }
  EXPECT_EQ(run.result.err, "");

  StopServer();
  run = RunEngine(home, {"-diskStats", "-timeStats"}, no_display);
  expected = std::string(C5ENGINE) + "-diskStatsDATA\n" + name + "\nDQ DISABLED\n0\n" + kib +
             "\n-timeStatsDATA\n" + name + "\nDISABLED\n--COMPUTER--\n0\n";
  if (run.namespaced) {
    EXPECT_EQ(run.result.out, expected);
  }
  std::string notice = "CORVANE ERROR: Re-connecting to server (connection dropped)\n";
  EXPECT_EQ(run.result.err, notice + notice + notice);
  EXPECT_GE(run.result.seconds, 17.5);  // three fetches, two discoveries each
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
  std::string pid = std::to_string(term.pid());
  bool active = false;
  for (int i = 0; i < 40 && !active; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    FILE* p = popen("xprop -id $(xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}') "
                    "_NET_WM_PID 2>/dev/null", "r");
    char line[256] = {0};
    if (fgets(line, sizeof line, p) != nullptr) active = std::string(line).find("= " + pid) != std::string::npos;
    pclose(p);
  }
  if (!active) GTEST_SKIP() << "the test terminal did not become the active window";

  std::vector<std::string> env{"XDG_DATA_DIRS=" + data, "XDG_DATA_HOME=" + data + "/none"};
  std::vector<std::string> argv{C5ENGINE, "-timeStats"};
  test::RunResult r = RunProgram(argv, env);
  EXPECT_EQ(r.err, "Test Terminal\n");
  EXPECT_EQ(WithoutDiscoveryLines(r.out), std::string(C5ENGINE) + "-timeStatsDATA\n" +
                                              FullUserName() + "\nENABLED\n33\n");
}

}  // namespace
}  // namespace corvane
