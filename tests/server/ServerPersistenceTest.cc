// settings.plist and stats.plist across restarts, damage and kill -9.
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "Paths.h"
#include "PlistXml.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

class ServerPersistenceTest : public ServerTest {
 protected:
  std::optional<Plist> Stored(const char* name) { return ParsePlistXml(server_.DataFile(name)); }
};

TEST_F(ServerPersistenceTest, FirstStartRestartDamagedFilesAndKillNine) {
  ASSERT_TRUE(server_.Start());
  EXPECT_TRUE(Logged("Corvane 5 Server: unable to load settings.plist file\n\n"
                     "Corvane 5 Server: unable to load stats.plist file\n\n"));
  Exchange({UserAppRequest(kAutoUpdateCredit, "u", "a"), UserAppRequest(kGetCredit, "u", "a")});
  EXPECT_EQ(server_.DataFile("settings.plist"), "");  // AutoUpdateCredit never writes
  // The first MinuteUsed writes both: an empty settings dictionary and the minute.
  Exchange({UserAppRequest(kMinuteUsed, "u", "a"), UserAppRequest(kGetCredit, "u", "a")});
  EXPECT_EQ(Stored("settings.plist"), Plist::Dictionary());
  EXPECT_EQ(LastDayMinutes(Stored("stats.plist"), "u", "a"), 1);

  Exchange({SettingsRequest(kSaveCredit, "u", "a", SampleRecord(40, true)),
            UserAppRequest(kGetCredit, "u", "a")});
  ASSERT_EQ(server_.Stop(), 0);
  ASSERT_TRUE(server_.Start());
  // A refill alone is not saved (here it schedules the record's first
  // refill): the file keeps its bytes, and a restart loses the refill.
  std::string saved = server_.DataFile("settings.plist");
  auto refilled = Exchange({UserAppRequest(kAutoUpdateCredit, "u", "a"),
                            UserAppRequest(kGetCredit, "u", "a")});
  EXPECT_EQ(CreditOf(refilled), 40);
  EXPECT_NE(RealNumberValue(refilled->AsDictionary()->Find("NextAutoUpdate")), 0);
  ASSERT_EQ(server_.Stop(), 0);
  EXPECT_EQ(server_.DataFile("settings.plist"), saved);

  // Garbage settings and an array-rooted stats file start empty; the first
  // save replaces both, and no temporary file is left beside them.
  std::string folder = root_.Path(std::string(kSupportFolder));
  WriteFileOrDie(folder + "/settings.plist", "<?xml version=\"1.0\"?><plist><dict><key>");
  WriteFileOrDie(folder + "/stats.plist", PlistXml(Plist::Array({Plist::Integer(1)})));
  ASSERT_TRUE(server_.Start());
  EXPECT_TRUE(Logged("unable to load settings.plist") && Logged("unable to load stats.plist"));
  Exchange({UserAppRequest(kMinuteUsed, "v", "b"), UserAppRequest(kGetStats, "v", "b")});
  EXPECT_EQ(Stored("settings.plist"), Plist::Dictionary());
  EXPECT_EQ(LastDayMinutes(Stored("stats.plist"), "v", "b"), 1);
  EXPECT_NE(std::system(("ls \"" + folder + "\" | grep -q tmp").c_str()), 0);

  // A kill -9 after some replies, while the server still works through the
  // minutes, loses none that were acknowledged, and leaves whole files.
  constexpr int kMinutes = 5000, kRepliesBeforeKill = 19;
  // Every 50th minute is followed by a GetStats, whose reply leaves the
  // server only after the minutes before it are on disk.
  Bytes stream, minute = UserAppRequest(kMinuteUsed, "u", "a"),
                query = UserAppRequest(kGetStats, "u", "a");
  for (int i = 1; i <= kMinutes; ++i) Append(&stream, i % 50 ? minute : Concat({minute, query}));
  Connection c(server_.port());
  ASSERT_TRUE(c.Send(stream));
  int64_t acknowledged = 0;
  for (int i = 0; i < kRepliesBeforeKill; ++i) {
    auto reply = c.ReadPlistReply(10000);
    if (!reply || !reply->IsDictionary()) break;
    for (const auto& [day, minutes] : reply->AsDictionary()->entries()) {
      acknowledged = NumberValue(&minutes, 32);
    }
  }
  server_.Kill9();
  auto stats = Stored("stats.plist");
  ASSERT_TRUE(stats) << "stats.plist is torn";
  ASSERT_TRUE(Stored("settings.plist"));
  int64_t stored = LastDayMinutes(stats, "u", "a");
  EXPECT_GE(stored, acknowledged);
  EXPECT_LE(stored, kMinutes);

  ASSERT_TRUE(server_.Start());
  EXPECT_EQ(LastDayOf(Exchange({UserAppRequest(kGetStats, "u", "a")})), stored);
}

// Requests of many connections that land in one turn of the server's loop:
// one save covers them all, before the first reply leaves. A refill among
// them is saved with the rest, so the file holds what memory holds.
TEST_F(ServerPersistenceTest, ManyConnectionsInOneTurnShareOneSaveBeforeAnyReply) {
  constexpr int kConnections = 40;
  ASSERT_TRUE(server_.Start());
  AppSettings due = SampleRecord(10, true);
  due.next_auto_update = 1;  // long past: a refill sets the credit
  due.we_value = due.auto_update_value = 2;  // 120 whatever the day
  Exchange({SettingsRequest(kSaveCredit, "u", "a", due), UserAppRequest(kGetCredit, "u", "a")});
  std::vector<std::unique_ptr<Connection>> connections;
  for (int i = 0; i < kConnections; ++i) {
    connections.push_back(std::make_unique<Connection>(server_.port()));
    ASSERT_TRUE(connections.back()->Send(UserAppRequest(kGetCredit, "u", "a")));
    ASSERT_TRUE(connections.back()->ReadReply());  // accepted and served
  }
  int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  ASSERT_GE(inotify_add_watch(watch, root_.Path(std::string(kSupportFolder)).c_str(), IN_MOVED_TO),
            0);
  // Stopped, the server finds every request waiting when it goes on.
  kill(server_.pid(), SIGSTOP);
  for (int i = 0; i < kConnections; ++i) {
    std::string user = "user" + std::to_string(i);
    Bytes requests = i == 0 ? Concat({UserAppRequest(kMinuteUsed, "u", "a"),
                                      UserAppRequest(kAutoUpdateCredit, "u", "a"),
                                      UserAppRequest(kGetCredit, "u", "a")})
                            : Concat({UserAppRequest(kMinuteUsed, user, "a"),
                                      UserAppRequest(kGetStats, user, "a")});
    ASSERT_TRUE(connections[i]->Send(requests));
  }
  kill(server_.pid(), SIGCONT);
  auto first = connections[kConnections - 1]->ReadPlistReply();
  ASSERT_TRUE(first);
  // The first reply out finds every connection's minute on disk.
  auto stats = Stored("stats.plist");
  for (int i = 1; i < kConnections; ++i) {
    std::string user = "user" + std::to_string(i);
    EXPECT_EQ(LastDayMinutes(stats, user.c_str(), "a"), 1) << user;
  }
  EXPECT_EQ(LastDayMinutes(stats, "u", "a"), 1);
  EXPECT_EQ(CreditOf(connections[0]->ReadPlistReply()), 120);
  EXPECT_TRUE(Logged("Added 120 to credit. Credit is now 120\n\n"));
  for (int i = 1; i < kConnections - 1; ++i) EXPECT_TRUE(connections[i]->ReadPlistReply());
  EXPECT_EQ(NumberValue(server_.StoredSettings("u", "a").Find("Credit"), 32), 120);
  // One save: each file was renamed into place once.
  std::map<std::string, int> renamed;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
    for (char* p = buffer; p < buffer + n;) {
      auto* event = reinterpret_cast<inotify_event*>(p);
      if (event->len) ++renamed[event->name];
      p += sizeof(inotify_event) + event->len;
    }
  }
  close(watch);
  EXPECT_EQ(renamed["stats.plist"], 1);
  EXPECT_EQ(renamed["settings.plist"], 1);
}

}  // namespace
}  // namespace corvane::test
