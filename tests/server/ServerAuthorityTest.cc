// Who may change settings and have processes killed: the real server runs
// as root on loopback, its clients run as other users.
#include <signal.h>
#include <sys/socket.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include "Paths.h"
#include "Platform/Network/PeerUser.h"
#include "NewKeyAllowance.h"
#include "PlistFile.h"
#include "PlistXml.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

const std::string kLogin = "com.apple.loginwindow";

class ServerAuthorityTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped()) return;
    if (geteuid() != 0) GTEST_SKIP() << "needs root: the server runs as root, clients as others";
  }
  void SetPreference(const char* key, const std::string& value) {
    ASSERT_TRUE(SetPlistFileKey(root_.Path(std::string(kHostPreferenceFile)), key,
                                Plist::String(value)).ok());
  }
  // `frames` as `user`, then a GetCredit on the same connection so all were
  // handled before this returns.
  bool SendAs(const std::string& user, const Bytes& frames, bool ipv6 = false) {
    int port = server_.port();
    return RunAsUser(user, [=] {
      Connection c(port, ipv6);
      return c.Send(frames) && c.Send(UserAppRequest(kGetCredit, "alice", kLogin)) &&
             c.ReadReply(30000).has_value();
    });
  }
  // SaveCredit for alice's computer as `user`.
  bool SaveAs(const std::string& user, int32_t credit, bool ipv6 = false) {
    return SendAs(user, SettingsRequest(kSaveCredit, "alice", kLogin, SampleRecord(credit, true)),
                  ipv6);
  }
  int64_t Credit() { return CreditOf(Exchange({UserAppRequest(kGetCredit, "alice", kLogin)})); }
  // Kill requests as `user` (pids, or any text).
  bool KillAs(const std::string& user, const std::vector<std::string>& texts) {
    Bytes frames;
    for (const std::string& text : texts) {
      Append(&frames, SingleFieldRequest(kDisconnectionRequest, text));
    }
    return SendAs(user, frames);
  }
};

// Started through a program that changes user or session and then runs
// sleep: waits until sleep runs, so the owner seen is the final one.
pid_t StartSleeper(std::vector<std::string> argv) {
  argv.insert(argv.end(), {"sleep", "60"});
  pid_t pid = SpawnProcess(argv);
  WaitFor([pid] { return ReadFileOrEmpty("/proc/" + std::to_string(pid) + "/comm") == "sleep\n"; }, 2);
  return pid;
}
const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                            "--clear-groups"};

// Changes come from root or the admin group alone: a loopback range in
// "Admin addresses" lets no user of this machine in, on either family, as an
// address says nothing about who is behind it; "any" lets everyone in.
// Minutes and refills from a child's account count only for that account:
// a sibling's credit and minutes stay as they were, and however many fresh
// or overlong names come, stats.plist grows by a few keys a minute at most.
// A burst of queued minutes for the child's own known application is all
// counted.
TEST_F(ServerAuthorityTest, ChangesFromRootOrAdminsMinutesOnlyForTheirOwnUser) {
  ScratchAccount admin;
  // Where the install tool's SetPrefKey puts it.
  if (admin.valid()) {
    ASSERT_TRUE(SetPlistFileKey(root_.Path(std::string(kPreferenceFile)), "Admin group",
                                Plist::String(admin.name())).ok());
  }
  SetPreference("Admin addresses", "127.0.0.0/8, ::1");
  ASSERT_TRUE(server_.Start());
  ASSERT_TRUE(SaveAs("root", 60));
  EXPECT_EQ(Credit(), 60);

  std::string before = server_.DataFile("settings.plist");
  EXPECT_TRUE(SaveAs("nobody", 660));
  EXPECT_TRUE(SaveAs("nobody", 660, true));
  EXPECT_EQ(Credit(), 60);
  EXPECT_EQ(server_.DataFile("settings.plist"), before);
  EXPECT_TRUE(Logged("Refused save credit from 127.0.0.1 (user nobody) for user alice and app " +
                     kLogin + "\n"));
  EXPECT_TRUE(Logged("Refused save credit from ::1 (user nobody) for user alice")) << server_.Log();

  Exchange({UserAppRequest(kMinuteUsed, "alice", kLogin), UserAppRequest(kMinuteUsed, "nobody", "a"),
            UserAppRequest(kGetStats, "alice", kLogin)});
  std::string settings = server_.DataFile("settings.plist");
  auto alice_stats = Exchange({UserAppRequest(kGetStats, "alice", kLogin)});
  Bytes sibling;
  for (int i = 0; i < 1000; ++i) {
    Append(&sibling, UserAppRequest(i % 2 ? kMinuteUsed : kAutoUpdateCredit, "alice", kLogin));
  }
  for (int i = 0; i < 30; ++i) Append(&sibling, UserAppRequest(kMinuteUsed, "nobody", "a"));
  ASSERT_TRUE(SendAs("nobody", sibling));
  EXPECT_EQ(server_.DataFile("settings.plist"), settings);
  EXPECT_EQ(Exchange({UserAppRequest(kGetStats, "alice", kLogin)}), alice_stats);
  EXPECT_EQ(LastDayOf(Exchange({UserAppRequest(kGetStats, "nobody", "a")})), 31);

  size_t stats_before = server_.DataFile("stats.plist").size();
  Bytes flood;
  for (int i = 0; i < 10000; ++i) {
    std::string fresh = "app" + std::to_string(i);
    if (i % 3 == 0) fresh.append(300, 'x');  // over the bound: refused whole
    Append(&flood, UserAppRequest(kMinuteUsed, i % 2 ? "nobody" : fresh, fresh));
  }
  ASSERT_TRUE(SendAs("nobody", flood));
  auto stats = ParsePlistXml(server_.DataFile("stats.plist"));
  ASSERT_TRUE(stats && stats->IsDictionary());
  const Plist* apps = stats->AsDictionary()->Find("nobody");
  ASSERT_TRUE(apps && apps->IsDictionary());
  // 20 a minute, and a few more for the seconds the flood took.
  EXPECT_LE(apps->AsDictionary()->size(), 1u + kNewKeysPerMinute + 5);
  EXPECT_LE(server_.DataFile("stats.plist").size(), stats_before + 40 * 300);
  EXPECT_EQ(stats->AsDictionary()->size(), 2u);  // alice and nobody only
  // Each kind of refusal once per connection.
  std::string log = server_.Log();
  for (const char* refusal : {"Refused minute used from 127.0.0.1 (user nobody) for user alice",
                              "Refused auto update credit from 127.0.0.1 (user nobody)",
                              "is longer than 255 bytes",
                              "Refused new statistics keys from 127.0.0.1 (user nobody)"}) {
    EXPECT_EQ(Occurrences(log, refusal), 1u) << refusal << "\n" << log;
  }
  EXPECT_TRUE(server_.Running());
  if (admin.valid()) {
    EXPECT_TRUE(SaveAs(admin.name(), 90));
    EXPECT_EQ(Credit(), 90);
  }
  server_.Stop();

  SetPreference("Admin addresses", "any");
  ASSERT_TRUE(server_.Start());
  EXPECT_TRUE(SaveAs("nobody", 660));
  EXPECT_EQ(Credit(), 660);
  if (!admin.valid()) GTEST_SKIP() << "no scratch account could be made for the admin group";
}

// A peer other than root has killed what it runs, and the leader of its own
// login session, which runs as root but carries the peer's login user id.
TEST_F(ServerAuthorityTest, DisconnectionRequestKillsOnlyWhatThePeerOwns) {
  ASSERT_TRUE(server_.Start());
  pid_t roots = StartSleeper({"setsid"});
  std::vector<std::string> leader = kAsNobody;
  leader.push_back("setsid");
  pid_t own = StartSleeper(kAsNobody), own_leader = StartSleeper(leader);
  pid_t login_leader = StartSleeper({"setsid", "sh", "-c",
                                     "echo 65534 >/proc/self/loginuid; exec \"$@\"", "sh"});
  ASSERT_TRUE(roots > 0 && own > 0 && own_leader > 0 && login_leader > 0);
  // Where logind tracks the session, or the login user id cannot be set,
  // the session is not the one this test made.
  char* session = nullptr;
  bool login_counts = sd_pid_get_session(login_leader, &session) < 0 &&
      ReadFileOrEmpty("/proc/" + std::to_string(login_leader) + "/loginuid") == "65534";
  free(session);
  const std::string target = std::to_string(roots), server = std::to_string(server_.pid());
  EXPECT_TRUE(KillAs("nobody", {target, std::to_string(own), std::to_string(own_leader),
                                std::to_string(login_leader)}));
  EXPECT_TRUE(EndedBySignal9(own));
  EXPECT_TRUE(EndedBySignal9(own_leader));
  if (login_counts) {
    EXPECT_TRUE(EndedBySignal9(login_leader)) << server_.Log();
  } else {
    KillAndReap(login_leader);
  }
  EXPECT_EQ(kill(roots, 0), 0) << "root's process was killed for nobody";
  EXPECT_TRUE(Logged("Refused disconnection request from user nobody for pid " + target + "\n"))
      << server_.Log();
  // Root may have anything killed but init, the server itself and what is
  // no pid at all.
  EXPECT_TRUE(KillAs("root", {"0", "-5", "abc", server, "1", target}));
  EXPECT_TRUE(EndedBySignal9(roots));
  EXPECT_TRUE(server_.Running());
  const std::string got = "Got disconnection request for pid ";
  EXPECT_TRUE(Logged(got + "0\n" + got + "-5\n" + got + "0\n" + got + server + "\n" + got + "1\n" +
                     got + target + "\nKilled -9 pid " + target + "\n"))
      << server_.Log();
  if (!login_counts) {
    GTEST_SKIP() << "logind tracks the login leader's session, or its login user id cannot be set";
  }
}

// The peer's user comes from its socket while it is open; a socket closed
// or handed over to the kernel tells nothing, whatever it sent.
TEST(PeerUserTest, BothLookupsNameTheSocketOwnerUntilItCloses) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a client as nobody";
  for (IpFamily family : {IpFamily::kIPv4, IpFamily::kIPv6}) {
    SocketHandle listener;
    ASSERT_TRUE(CreateListenerSocket(family, &listener).ok());
    ASSERT_TRUE(BindAndListen(listener, family, 0, true).ok());
    // nobody's client, which holds its connection until it is killed.
    std::vector<std::string> client = kAsNobody;
    client.insert(client.end(), {"bash", "-c", "exec 3<>/dev/tcp/$0/$1; exec sleep 60",
                                 family == IpFamily::kIPv6 ? "::1" : "127.0.0.1",
                                 std::to_string(BoundPort(listener))});
    pid_t pid = SpawnProcess(client);
    AcceptedConnection accepted;
    for (int i = 0; i < 200 && !AcceptConnectionSocket(listener, &accepted); ++i) usleep(10000);
    ASSERT_TRUE(accepted.socket.valid());
    EXPECT_EQ(LocalPeerUser(accepted.socket), 65534u);
    EXPECT_EQ(LocalPeerUserFromTcpTable(accepted.socket), 65534u);
    KillAndReap(pid);
    EXPECT_EQ(LocalPeerUser(accepted.socket), std::nullopt);
    EXPECT_EQ(LocalPeerUserFromTcpTable(accepted.socket), std::nullopt);
  }
}

}  // namespace
}  // namespace corvane::test
