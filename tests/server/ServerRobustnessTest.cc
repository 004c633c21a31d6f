// Hostile and broken input on purpose: each bad connection goes alone, the
// server keeps serving the others.
#include <random>

#include <gtest/gtest.h>

#include "ServerHarness.h"

namespace corvane::test {
namespace {

class ServerRobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    Connection setup(server_.port());
    setup.Send(SettingsRequest(kSaveCredit, "u", "a", SampleRecord(30, true)));
  }
  // A bystander connection still gets its answer.
  void ExpectStillServing() {
    Connection c(server_.port());
    c.Send(UserAppRequest(kGetCredit, "u", "a"));
    auto reply = c.ReadPlistReply();
    ASSERT_TRUE(reply && reply->IsDictionary());
    EXPECT_FALSE(reply->AsDictionary()->empty());
  }
  static Bytes Header(uint32_t length, uint8_t command) {
    Bytes b(9);
    StoreBigEndian32(length, b.data());
    b[4] = command;
    return b;
  }
  TempRoot root_;
  ServerProcess server_{root_};
};

TEST_F(ServerRobustnessTest, BadLengthsCloseOnlyThatConnection) {
  Connection bystander(server_.port());
  for (uint32_t length : {0u, 5u, 8u, (1u << 20) + 1, 0xFFFFFFFFu}) {
    Connection bad(server_.port());
    ASSERT_TRUE(bad.Send(Header(length, kGetCredit)));
    EXPECT_TRUE(bad.ClosedByServer()) << "length " << length;
  }
  // Exactly 1 MiB is allowed and handled once complete.
  Connection big(server_.port());
  Bytes frame = UserAppRequest(kGetCredit, "u", "a");
  frame.resize(1u << 20);
  StoreBigEndian32(1u << 20, frame.data());
  ASSERT_TRUE(big.Send(frame));
  EXPECT_TRUE(big.ReadPlistReply());
  bystander.Send(UserAppRequest(kGetCredit, "u", "a"));
  EXPECT_TRUE(bystander.ReadPlistReply());
  EXPECT_NE(server_.Log().find("Closing a connection: request length 0 is outside 9 to 1048576\n"),
            std::string::npos);
}

TEST_F(ServerRobustnessTest, TruncatedRecordsAndBadText) {
  Connection c(server_.port());
  // SaveCredit whose record is cut short stores nothing; MinuteUsed still
  // counts (and charges) the minute, since it never reads the record.
  Bytes save = SettingsRequest(kSaveCredit, "u", "a", SampleRecord(999, false));
  save.resize(save.size() - 1);
  StoreBigEndian32(static_cast<uint32_t>(save.size()), save.data());
  Bytes minute = UserAppRequest(kMinuteUsed, "u", "a");
  Bytes bad_user = UserAppRequest(kGetCredit, std::string("\xC3\x28", 2), "a");
  for (const Bytes& b : {save, minute, bad_user}) ASSERT_TRUE(c.Send(b));
  EXPECT_EQ(*c.ReadPlistReply(), Plist::Dictionary());  // non-UTF-8 user: absent
  c.Send(UserAppRequest(kGetCredit, "u", "a"));
  auto reply = c.ReadPlistReply();
  EXPECT_EQ(NumberValue(reply->AsDictionary()->Find("Credit"), 32), 29);
  EXPECT_TRUE(BooleanValue(reply->AsDictionary()->Find("Enabled")));
  // A count running past the frame is an absent field, not a crash.
  Bytes overrun = Header(13, kGetCredit);
  overrun.insert(overrun.end(), {0xFF, 0xFF, 0xFF, 0x7F});
  c.Send(overrun);
  EXPECT_EQ(*c.ReadPlistReply(), Plist::Dictionary());
}

TEST_F(ServerRobustnessTest, TenThousandRandomFrames) {
  std::mt19937 random(20261207);
  Connection noise(server_.port());
  Bytes all;
  for (int i = 0; i < 10000; ++i) {
    uint32_t payload = random() % 80;
    Bytes frame = Header(9 + payload, static_cast<uint8_t>(random() % 10));
    for (uint32_t b = 0; b < payload; ++b) frame.push_back(static_cast<uint8_t>(random()));
    // Now and then a plausible field count, so handlers get past it.
    if (payload >= 4 && random() % 2) StoreLittleEndian32(random() % payload, frame.data() + 9);
    // No kill requests: a random pid could be anything on this machine.
    if (frame[4] == kDisconnectionRequest) frame[4] = 0;
    all.insert(all.end(), frame.begin(), frame.end());
  }
  ASSERT_TRUE(noise.Send(all));
  // Replies are read concurrently with nothing; the server queues them.
  ExpectStillServing();
  int replies = 0;
  while (noise.ReadReply(2000)) ++replies;
  EXPECT_GT(replies, 1000);
  EXPECT_TRUE(server_.Running());
  ExpectStillServing();
}

TEST_F(ServerRobustnessTest, UnreadRepliesAreQueuedInOrderThenCapped) {
  // Thousands of replies that the socket cannot take at once all arrive,
  // in request order.
  Connection slow(server_.port());
  Bytes batch;
  for (int i = 0; i < 3000; ++i) {
    Bytes r = UserAppRequest(kGetCredit, "u", i % 2 ? "a" : "missing");
    batch.insert(batch.end(), r.begin(), r.end());
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
