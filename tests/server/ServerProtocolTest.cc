// The commands over real loopback TCP against the real program: replies
// parsed with the plist reader, effects read back from the files and log.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AbsoluteTime.h"
#include "PlistXml.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

class ServerProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start()); }
  std::optional<Plist> Ask(uint8_t command, const std::string& user, const std::string& app) {
    Connection c(server_.port());
    c.Send(UserAppRequest(command, user, app));
    return c.ReadPlistReply();
  }
  int64_t CreditOf(const std::optional<Plist>& reply) {
    return NumberValue(reply->AsDictionary()->Find("Credit"), 32);
  }
  TempRoot root_;
  ServerProcess server_{root_};
};

TEST_F(ServerProtocolTest, EveryCommandOnTheWire) {
  Connection c(server_.port());
  ASSERT_TRUE(c.connected());
  AppSettings off = SampleRecord(5, false);
  ASSERT_TRUE(c.Send(SettingsRequest(kSaveCredit, "alice", "com.apple.loginwindow",
                                     SampleRecord(1, true))));
  ASSERT_TRUE(c.Send(SettingsRequest(kSaveCredit, "alice", "org.gnome.Calculator", off)));
  ASSERT_TRUE(c.Send(SettingsRequest(kMinuteUsed, "alice", "com.apple.loginwindow", off)));
  ASSERT_TRUE(c.Send(SettingsRequest(kMinuteUsed, "alice", "com.apple.loginwindow", off)));
  ASSERT_TRUE(c.Send(UserAppRequest(kGetCredit, "alice", "com.apple.loginwindow")));
  auto credit = c.ReadPlistReply();
  ASSERT_TRUE(credit && credit->IsDictionary());
  // All sixteen keys; the credit never goes below 0 while minutes count on.
  EXPECT_EQ(credit->AsDictionary()->size(), 16u);
  EXPECT_EQ(CreditOf(credit), 0);
  EXPECT_TRUE(BooleanValue(credit->AsDictionary()->Find("Enabled")));
  EXPECT_EQ(NumberValue(credit->AsDictionary()->Find("AutoUpdateCoeff"), 8), 60);

  ASSERT_TRUE(c.Send(UserAppRequest(kGetStats, "alice", "com.apple.loginwindow")));
  auto stats = c.ReadPlistReply();
  ASSERT_TRUE(stats && stats->IsDictionary());
  std::string today = DayKey(AbsoluteTimeFromUnix(static_cast<double>(time(nullptr))));
  EXPECT_EQ(NumberValue(stats->AsDictionary()->Find(today), 32), 2);

  ASSERT_TRUE(c.Send(SingleFieldRequest(kGetEnabledApps, "alice")));
  auto enabled = c.ReadPlistReply();
  ASSERT_TRUE(enabled && enabled->IsArray());
  EXPECT_EQ(*enabled, Plist::Array({Plist::String("com.apple.loginwindow")}));

  // Unknown users and apps answer empty containers, never nothing.
  EXPECT_EQ(*Ask(kGetCredit, "bob", "x"), Plist::Dictionary());
  EXPECT_EQ(*Ask(kGetStats, "alice", "org.gnome.Calculator"), Plist::Dictionary());
  Connection e(server_.port());
  e.Send(SingleFieldRequest(kGetEnabledApps, "nobody"));
  EXPECT_EQ(*e.ReadPlistReply(), Plist::Array());

  // An empty-payload frame of command 0, 8 or 9 is consumed without reply:
  // the next reply on the connection is the GetCredit's.
  for (uint8_t command : {0, 8, 9}) ASSERT_TRUE(c.Send(BuildRequest(command, {})));
  ASSERT_TRUE(c.Send(UserAppRequest(kGetCredit, "alice", "org.gnome.Calculator")));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 5);

  std::string log = server_.Log();
  EXPECT_NE(log.find("Connection with client initialized\n\n"), std::string::npos);
  EXPECT_NE(log.find("handling save credit for user alice and app org.gnome.Calculator\n"),
            std::string::npos);
  EXPECT_NE(log.find("handling minute used notification user alice and app "
                     "com.apple.loginwindow\n"),
            std::string::npos);
  EXPECT_NE(log.find("handling get credit for user bob and app x\n"), std::string::npos);
  EXPECT_EQ(log.find("Handling command"), std::string::npos);
  EXPECT_NE(server_.Stdout().find("Handling command 0\nHandling command 8\nHandling command 9\n"), std::string::npos)
      << server_.Stdout();
}

TEST_F(ServerProtocolTest, RequestsSplitByteByByteAndBatched) {
  Connection setup(server_.port());
  setup.Send(SettingsRequest(kSaveCredit, "u", "a", SampleRecord(11, true)));
  setup.Send(SettingsRequest(kSaveCredit, "u", "b", SampleRecord(22, true)));
  setup.Send(SettingsRequest(kSaveCredit, "u", "c", SampleRecord(33, true)));

  Connection c(server_.port(), /*ipv6=*/true);
  ASSERT_TRUE(c.connected());
  Bytes one = UserAppRequest(kGetCredit, "u", "a");
  for (uint8_t byte : one) {
    ASSERT_TRUE(c.Send({byte}));
    usleep(2000);
  }
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 11);

  Bytes three;
  for (const char* app : {"c", "a", "b"}) {
    Bytes r = UserAppRequest(kGetCredit, "u", app);
    three.insert(three.end(), r.begin(), r.end());
  }
  // Followed by the first 3 bytes of a fourth request, which must wait.
  Bytes fourth = UserAppRequest(kGetCredit, "u", "c");
  three.insert(three.end(), fourth.begin(), fourth.begin() + 3);
  ASSERT_TRUE(c.Send(three));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 33);
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 11);
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 22);
  EXPECT_FALSE(c.ReadReply(300));
  ASSERT_TRUE(c.Send(Bytes(fourth.begin() + 3, fourth.end())));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 33);

  // A 19-byte GetCredit as the protocol's example gives it.
  EXPECT_EQ(UserAppRequest(kGetCredit, "u", "a"),
            (Bytes{0, 0, 0, 19, 1, 0, 0, 0, 0, 1, 0, 0, 0, 'u', 1, 0, 0, 0, 'a'}));
}

TEST_F(ServerProtocolTest, DisconnectionRequestKillsOnlyRealTargets) {
  pid_t victim = SpawnProcess({"sleep", "60"});
  ASSERT_GT(victim, 0);
  Connection c(server_.port());
  for (const std::string& text :
       std::vector<std::string>{"0", "-5", "abc", std::to_string(server_.pid()), "1"}) {
    c.Send(SingleFieldRequest(kDisconnectionRequest, text));
  }
  c.Send(SingleFieldRequest(kDisconnectionRequest, std::to_string(victim)));
  int status = 0;
  ASSERT_EQ(waitpid(victim, &status, 0), victim);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_TRUE(server_.Running());

  std::string log = server_.Log();
  std::string own = std::to_string(server_.pid());
  EXPECT_NE(log.find("Got disconnection request for pid 0\nGot disconnection request for pid -5\n"
                     "Got disconnection request for pid 0\nGot disconnection request for pid " +
                     own + "\nGot disconnection request for pid 1\nGot disconnection request "
                     "for pid " + std::to_string(victim) + "\nKilled -9 pid " +
                     std::to_string(victim) + "\n"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace corvane::test
