// settings.plist and stats.plist across restarts, damage and kill -9.
#include <poll.h>
#include <unistd.h>

#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "Paths.h"
#include "PlistXml.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

class ServerPersistenceTest : public ::testing::Test {
 protected:
  std::string SupportFile(const char* name) {
    return root_.Path(std::string(kSupportFolder) + "/" + name);
  }
  std::optional<Plist> Stored(const char* name) {
    return ParsePlistXml(ReadFileOrEmpty(SupportFile(name)));
  }
  int64_t TodayMinutes(const Plist& stats, const char* user, const char* app) {
    const Plist* u = stats.AsDictionary()->Find(user);
    const Plist* a = u ? u->AsDictionary()->Find(app) : nullptr;
    const Plist* s = a ? a->AsDictionary()->Find("Stats") : nullptr;
    if (!s || s->AsDictionary()->empty()) return 0;
    return NumberValue(&s->AsDictionary()->entries().back().second, 32);
  }
  TempRoot root_;
  ServerProcess server_{root_};
};

TEST_F(ServerPersistenceTest, FirstStartRestartAndDamagedFiles) {
  ASSERT_TRUE(server_.Start());
  EXPECT_NE(server_.Log().find("Corvane 5 Server: unable to load settings.plist file\n\n"
                               "Corvane 5 Server: unable to load stats.plist file\n\n"),
            std::string::npos);
  {
    Connection c(server_.port());
    c.Send(UserAppRequest(kAutoUpdateCredit, "u", "a"));  // never touches a file
    c.Send(UserAppRequest(kGetCredit, "u", "a"));
    c.ReadReply();
    EXPECT_TRUE(ReadFileOrEmpty(SupportFile("settings.plist")).empty());
    c.Send(UserAppRequest(kMinuteUsed, "u", "a"));
    c.Send(UserAppRequest(kGetCredit, "u", "a"));
    c.ReadReply();
  }
  // The first MinuteUsed writes both: an empty settings dictionary and the
  // minute. Neither file has a temporary left beside it.
  EXPECT_EQ(*Stored("settings.plist"), Plist::Dictionary());
  EXPECT_EQ(TodayMinutes(*Stored("stats.plist"), "u", "a"), 1);

  Connection(server_.port()).Send(SettingsRequest(kSaveCredit, "u", "a", SampleRecord(40, true)));
  usleep(200000);
  ASSERT_EQ(server_.Stop(), 0) << server_.Stderr();
  ASSERT_TRUE(server_.Start());
  {
    Connection c(server_.port());
    c.Send(UserAppRequest(kGetCredit, "u", "a"));
    auto reply = c.ReadPlistReply();
    EXPECT_EQ(NumberValue(reply->AsDictionary()->Find("Credit"), 32), 40);
  }
  ASSERT_EQ(server_.Stop(), 0) << server_.Stderr();

  // Garbage settings and an array-rooted stats file start empty; the first
  // save replaces both.
  WriteFileOrDie(SupportFile("settings.plist"), "<?xml version=\"1.0\"?><plist><dict><key>");
  WriteFileOrDie(SupportFile("stats.plist"), PlistXml(Plist::Array({Plist::Integer(1)})));
  ASSERT_TRUE(server_.Start());
  EXPECT_NE(server_.Log().find("unable to load settings.plist"), std::string::npos);
  EXPECT_NE(server_.Log().find("unable to load stats.plist"), std::string::npos);
  Connection c(server_.port());
  c.Send(UserAppRequest(kMinuteUsed, "v", "b"));
  c.Send(UserAppRequest(kGetStats, "v", "b"));
  c.ReadReply();
  EXPECT_EQ(*Stored("settings.plist"), Plist::Dictionary());
  EXPECT_EQ(TodayMinutes(*Stored("stats.plist"), "v", "b"), 1);
  EXPECT_EQ(std::system(("ls \"" + SupportFile("") + "\" | grep -q tmp").c_str()) == 0, false);
}

TEST_F(ServerPersistenceTest, GroupedRequestsLeaveWhatPerRequestSavesWould) {
  ASSERT_TRUE(server_.Start());
  AppSettings due = SampleRecord(10, true);
  due.NextAutoUpdate = 1;  // long past: a refill would change the credit
  due.WeValue = 2;         // 120 whatever the day of the last round
  Bytes batch = SettingsRequest(kSaveCredit, "u", "a", due);
  for (const Bytes& b : {UserAppRequest(kMinuteUsed, "u", "a"),
                         UserAppRequest(kAutoUpdateCredit, "u", "a"),
                         UserAppRequest(kGetCredit, "u", "a")}) {
    batch.insert(batch.end(), b.begin(), b.end());
  }
  Connection c(server_.port());
  c.Send(batch);
  auto reply = c.ReadPlistReply();
  ASSERT_TRUE(reply);
  // Memory has the refill; the file stops at the MinuteUsed, as it would
  // had each request been saved on its own.
  EXPECT_EQ(NumberValue(reply->AsDictionary()->Find("Credit"), 32), 120);
  auto stored = Stored("settings.plist");
  ASSERT_TRUE(stored);
  const Plist* app = FindAppSettings(*stored->AsDictionary(), "u", "a");
  ASSERT_TRUE(app);
  EXPECT_EQ(NumberValue(app->AsDictionary()->Find("Credit"), 32), 9);
}

TEST_F(ServerPersistenceTest, KillNineLosesNothingSaved) {
  constexpr int kMinutes = 5000;
  std::mt19937 random(static_cast<unsigned>(time(nullptr)));
  ASSERT_TRUE(server_.Start());
  Connection c(server_.port());
  // Every 50th minute is followed by a GetStats, whose reply leaves the
  // server only after the minutes before it are on disk.
  Bytes stream;
  for (int i = 1; i <= kMinutes; ++i) {
    Bytes m = UserAppRequest(kMinuteUsed, "u", "a");
    stream.insert(stream.end(), m.begin(), m.end());
    if (i % 50 == 0) {
      Bytes q = UserAppRequest(kGetStats, "u", "a");
      stream.insert(stream.end(), q.begin(), q.end());
    }
  }
  std::thread sender([&] { c.Send(stream); });
  int64_t acknowledged = 0;
  int replies_before_kill = static_cast<int>(random() % 60) + 1;
  for (int i = 0; i < replies_before_kill; ++i) {
    auto reply = c.ReadPlistReply(10000);
    if (!reply) break;
    for (const auto& [day, minutes] : reply->AsDictionary()->entries()) {
      acknowledged = NumberValue(&minutes, 32);
    }
  }
  server_.Kill9();
  sender.join();
  auto stats = Stored("stats.plist");
  ASSERT_TRUE(stats) << "stats.plist is torn";
  ASSERT_TRUE(Stored("settings.plist"));
  int64_t stored = TodayMinutes(*stats, "u", "a");
  std::printf("kill -9 after %d replies: acknowledged %lld, stored %lld of %d sent\n",
              replies_before_kill, static_cast<long long>(acknowledged),
              static_cast<long long>(stored), kMinutes);
  EXPECT_GE(stored, acknowledged);
  EXPECT_LE(stored, kMinutes);

  ASSERT_TRUE(server_.Start());
  Connection after(server_.port());
  after.Send(UserAppRequest(kGetStats, "u", "a"));
  auto reply = after.ReadPlistReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(NumberValue(&reply->AsDictionary()->entries().back().second, 32), stored);
}

}  // namespace
}  // namespace corvane::test
