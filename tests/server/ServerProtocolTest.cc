// The commands over real loopback TCP against the real program, and hostile
// or broken input: each bad connection goes alone, the others stay served.
#include <unistd.h>

#include "AbsoluteTime.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

class ServerProtocolTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(server_.Start());
  }
};

TEST_F(ServerProtocolTest, EveryCommandOnTheWire) {
  const std::string login = "com.apple.loginwindow", calc = "org.gnome.Calculator";
  Connection c(server_.port());
  ASSERT_TRUE(c.connected());
  AppSettings off = SampleRecord(5, false);
  for (const Bytes& b : {SettingsRequest(kSaveCredit, "alice", login, SampleRecord(1, true)),
                         SettingsRequest(kSaveCredit, "alice", calc, off),
                         SettingsRequest(kMinuteUsed, "alice", login, off),
                         SettingsRequest(kMinuteUsed, "alice", login, off),
                         UserAppRequest(kGetCredit, "alice", login)}) {
    ASSERT_TRUE(c.Send(b));
  }
  auto credit = c.ReadPlistReply();
  ASSERT_TRUE(credit && credit->IsDictionary());
  // All sixteen keys; the credit never goes below 0 while minutes count on.
  EXPECT_EQ(credit->AsDictionary()->size(), 16u);
  EXPECT_EQ(CreditOf(credit), 0);
  EXPECT_TRUE(BooleanValue(credit->AsDictionary()->Find("Enabled")));
  EXPECT_EQ(NumberValue(credit->AsDictionary()->Find("AutoUpdateCoeff"), 8), 60);

  ASSERT_TRUE(c.Send(UserAppRequest(kGetStats, "alice", login)));
  auto stats = c.ReadPlistReply();
  ASSERT_TRUE(stats && stats->IsDictionary());
  std::string today = DayKey(AbsoluteTimeFromUnix(static_cast<double>(time(nullptr))));
  EXPECT_EQ(NumberValue(stats->AsDictionary()->Find(today), 32), 2);

  ASSERT_TRUE(c.Send(SingleFieldRequest(kGetEnabledApps, "alice")));
  EXPECT_EQ(c.ReadPlistReply(), Plist::Array({Plist::String(login)}));

  // Unknown users and apps answer empty containers, never nothing.
  EXPECT_EQ(Exchange({UserAppRequest(kGetCredit, "bob", "x")}), Plist::Dictionary());
  EXPECT_EQ(Exchange({UserAppRequest(kGetStats, "alice", calc)}), Plist::Dictionary());
  EXPECT_EQ(Exchange({SingleFieldRequest(kGetEnabledApps, "nobody")}), Plist::Array());

  // Empty-payload frames of command 0, 8 and 10 are consumed without reply;
  // 8 (an agent saying it is alive) is the server's own, and silent.
  for (uint8_t command : {0, 8, 10}) ASSERT_TRUE(c.Send(BuildRequest(command, {})));
  ASSERT_TRUE(c.Send(UserAppRequest(kGetCredit, "alice", calc)));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 5);

  EXPECT_TRUE(Logged("Connection with client initialized\n\n"));
  EXPECT_TRUE(Logged("handling save credit for user alice and app org.gnome.Calculator\n"));
  EXPECT_TRUE(Logged("handling minute used notification user alice and app " + login + "\n"));
  EXPECT_TRUE(Logged("handling get credit for user bob and app x\n"));
  EXPECT_FALSE(Logged("Handling command"));
  EXPECT_NE(server_.Stdout().find("Handling command 0\nHandling command 10\n"),
            std::string::npos)
      << server_.Stdout();
}

TEST_F(ServerProtocolTest, RequestsSplitByteByByteAndBatched) {
  Exchange({SettingsRequest(kSaveCredit, "u", "a", SampleRecord(11, true)),
            SettingsRequest(kSaveCredit, "u", "b", SampleRecord(22, true)),
            SettingsRequest(kSaveCredit, "u", "c", SampleRecord(33, true)),
            UserAppRequest(kGetCredit, "u", "a")});

  Connection c(server_.port(), /*ipv6=*/true);
  ASSERT_TRUE(c.connected());
  for (uint8_t byte : UserAppRequest(kGetCredit, "u", "a")) {
    ASSERT_TRUE(c.Send({byte}));
    usleep(2000);
  }
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 11);

  // Three requests and the first 3 bytes of a fourth, which must wait.
  Bytes fourth = UserAppRequest(kGetCredit, "u", "c");
  ASSERT_TRUE(c.Send(Concat({fourth, UserAppRequest(kGetCredit, "u", "a"),
                             UserAppRequest(kGetCredit, "u", "b"),
                             Bytes(fourth.begin(), fourth.begin() + 3)})));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 33);
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 11);
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 22);
  EXPECT_FALSE(c.ReadReply(300));
  ASSERT_TRUE(c.Send(Bytes(fourth.begin() + 3, fourth.end())));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 33);
}

class ServerRobustnessTest : public ServerProtocolTest {
 protected:
  void SetUp() override {
    ServerProtocolTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Exchange({SettingsRequest(kSaveCredit, "u", "a", SampleRecord(30, true)),
              UserAppRequest(kGetCredit, "u", "a")});
  }
  // A bystander connection still gets its answer.
  void ExpectStillServing() {
    EXPECT_EQ(CreditOf(Exchange({UserAppRequest(kGetCredit, "u", "a")})), 30);
  }
  static Bytes Header(uint32_t length, uint8_t command) {
    Bytes b(9);
    StoreBigEndian32(length, b.data());
    b[4] = command;
    return b;
  }
};

TEST_F(ServerRobustnessTest, BadLengthsTruncatedRecordsAndBadText) {
  Connection bystander(server_.port());
  for (uint32_t length : {0u, 5u, 8u, (1u << 20) + 1, 0xFFFFFFFFu}) {
    Connection bad(server_.port());
    ASSERT_TRUE(bad.Send(Header(length, kGetCredit)));
    EXPECT_TRUE(bad.ClosedByServer()) << "length " << length;
  }
  EXPECT_TRUE(Logged("Closing a connection: request length 0 is outside 9 to 1048576\n"));
  // Exactly 1 MiB is allowed and handled once complete.
  Bytes frame = UserAppRequest(kGetCredit, "u", "a");
  frame.resize(1u << 20);
  StoreBigEndian32(1u << 20, frame.data());
  ASSERT_TRUE(bystander.Send(frame));
  EXPECT_EQ(CreditOf(bystander.ReadPlistReply()), 30);

  // A SaveCredit whose record is cut short stores nothing; MinuteUsed still
  // charges the minute, since it never reads the record.
  Connection c(server_.port());
  Bytes save = SettingsRequest(kSaveCredit, "u", "a", SampleRecord(999, false));
  save.resize(save.size() - 1);
  StoreBigEndian32(static_cast<uint32_t>(save.size()), save.data());
  Bytes overrun = Header(13, kGetCredit);  // a count running past the frame
  overrun.insert(overrun.end(), {0xFF, 0xFF, 0xFF, 0x7F});
  for (const Bytes& b : {save, UserAppRequest(kMinuteUsed, "u", "a"),
                         UserAppRequest(kGetCredit, std::string("\xC3\x28", 2), "a"), overrun,
                         UserAppRequest(kGetCredit, "u", "a")}) {
    ASSERT_TRUE(c.Send(b));
  }
  EXPECT_EQ(c.ReadPlistReply(), Plist::Dictionary());  // non-UTF-8 user: absent
  EXPECT_EQ(c.ReadPlistReply(), Plist::Dictionary());  // overrun: absent field
  auto reply = c.ReadPlistReply();
  EXPECT_EQ(CreditOf(reply), 29);
  EXPECT_TRUE(reply && BooleanValue(reply->AsDictionary()->Find("Enabled")));
}

TEST_F(ServerRobustnessTest, UnreadRepliesAreQueuedInOrderThenCapped) {
  // More replies than the socket takes at once all arrive, in request order.
  Connection slow(server_.port());
  Bytes batch;
  for (int i = 0; i < 3000; ++i) {
    Append(&batch, UserAppRequest(kGetCredit, "u", i % 2 ? "a" : "missing"));
  }
  ASSERT_TRUE(slow.Send(batch));
  for (int i = 0; i < 3000; ++i) {
    auto reply = slow.ReadPlistReply();
    ASSERT_TRUE(reply) << "reply " << i;
    ASSERT_EQ(reply->AsDictionary()->empty(), i % 2 == 0) << "reply " << i;
  }
  // A client that never reads is dropped once its replies pass 1 MiB.
  Connection deaf(server_.port());
  Bytes request = UserAppRequest(kGetCredit, "u", "a");
  bool send_failed = false;
  for (int i = 0; i < 200000 && !send_failed; ++i) send_failed = !deaf.Send(request);
  EXPECT_TRUE(send_failed || deaf.ClosedByServer());
  ExpectStillServing();
}

}  // namespace
}  // namespace corvane::test
