// The agent's logic against the real server on loopback: minutes kept while
// it is away reach it when it is back, and the disk quota holds against a
// child who hides files behind permissions.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "AgentFakeWorld.h"
#include "CorvaneLoader.h"
#include "CorvaneServerLink.h"
#include "HomeFolderSize.h"
#include "HomeFolderSizeReply.h"
#include "Paths.h"
#include "Platform/System/Clock.h"
#include "PlistFile.h"
#include "ServerHarness.h"
#include "MachineAgentSystem.h"

namespace corvane::test {
namespace {

constexpr uint64_t kMiB = 1 << 20;

// The real server stopped for 90 passes mid-session: the game counts down,
// is warned and killed at its limit meanwhile, and the two minutes counted
// while the server was away reach its statistics and credit once it is back.
TEST_F(AgentLogicTest, RealServerAwayMidSessionGetsTheKeptMinutesBack) {
  if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
  TempRoot root;
  auto server = std::make_unique<ServerProcess>(root);
  if (!server->Start()) GTEST_SKIP() << "the server program did not start";
  int port = server->port();
  Bytes save = SettingsRequest(kSaveCredit, "kid", "game", SampleRecord(2, true));
  ASSERT_EQ(CreditOf(Exchange(port, {save, UserAppRequest(kGetCredit, "kid", "game")})), 2);
  SetClientOptions({});
  ASSERT_TRUE(UseServerAddress("127.0.0.1", static_cast<uint16_t>(port)));
  CorvaneServerLink link;
  state.server = &link;
  auto minutes_today = [&root] {
    auto stats = ReadPlistFile(root.Path(std::string(kStatsFile)));
    return LastDayMinutes(stats ? std::optional<Plist>(*stats) : std::nullopt, "kid", "game");
  };

  ASSERT_TRUE(Launch(100, "game"));
  Tick(31);  // minute 1 charged; credit 1
  EXPECT_EQ(minutes_today(), 1);
  // Today's statistics as the last-minute rule reads them.
  EXPECT_EQ(link.MinutesUsedOn("kid", "game", DayKey(CurrentAbsoluteTime())), 1);
  EXPECT_EQ(link.MinutesUsedOn("kid", "chess", DayKey(CurrentAbsoluteTime())), 0);
  server->Stop();
  world.events.clear();
  Tick(90);
  EXPECT_THAT(world.events, ::testing::ElementsAre("61 warn last 100", "121 kill 100", "121 unlisted 100"));
  EXPECT_TRUE(link.away());
  EXPECT_EQ(link.PendingMinuteCount(), 2u);

  server = std::make_unique<ServerProcess>(root, std::to_string(port));
  ASSERT_TRUE(server->Start());
  EXPECT_TRUE(WaitFor([&] { return Tick(1), !link.away(); }, 10 + kReconnectPauseSeconds));
  EXPECT_EQ(link.PendingMinuteCount(), 0u);
  EXPECT_TRUE(WaitFor([&] { return minutes_today() == 3; }, 5)) << minutes_today();
  EXPECT_EQ(CreditOf(Exchange(port, {UserAppRequest(kGetCredit, "kid", "game")})), 0);
  SetClientOptions({});
}

// What the child's process found out, sent back over a pipe: a forked
// child's failed expectations would not reach the test.
struct ChildReport {
  uint64_t own_walk = 0;
  uint64_t server_answer = 0;  // through the agent's own request
  bool replies_in_order = false;
  char events[512] = {};
};

TEST_F(AgentLogicTest, UnreadableFolderCountsAsRootSeesItAndTheSessionIsWarned) {
  if (!DnsSdReachable()) GTEST_SKIP() << kNoDnsSd;
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root: the server runs as root, the child as another account";
  }
  ScratchAccount child;
  if (!child.valid()) GTEST_SKIP() << "no scratch account could be made";
  TempRoot root;
  chmod(root.path().c_str(), 0755);
  std::string home = root.path() + "/home";
  MakeFolders(home + "/secret");
  WriteFileOrDie(home + "/plain", std::string(1000, 'p'));
  WriteFileOrDie(home + "/secret/big", std::string(3 * kMiB, 'b'));
  WriteFileOrDie(home + "/linked", std::string(kMiB, 'l'));
  ASSERT_EQ(link((home + "/linked").c_str(), (home + "/linked-again").c_str()), 0);
  ASSERT_EQ(std::system(("usermod -d '" + home + "' " + child.name() + " && chown -R " +
                         child.name() + " '" + home + "'").c_str()), 0);
  ServerProcess server(root);
  ASSERT_TRUE(server.Start());
  int port = server.port();

  int report_pipe[2];
  ASSERT_EQ(pipe(report_pipe), 0);
  bool ran = RunAsUser(child.name(), [&] {
    // As the child would: the folder stays usable by name, but no walk of
    // theirs can list it.
    chmod((home + "/secret").c_str(), 0300);
    ChildReport report;
    report.own_walk = HomeFolderSize();

    // A query behind the size on the same connection is answered after it.
    Connection c(port);
    c.Send(Concat({BuildRequest(kHomeFolderSize, {}), UserAppRequest(kGetCredit, "kid", "x")}));
    std::optional<std::string> first = c.ReadReply(), second = c.ReadReply();
    report.replies_in_order =
        first && second &&
        ReadHomeFolderSizeReply(std::span(reinterpret_cast<const uint8_t*>(first->data()),
                                          first->size())) &&
        second->find("<dict/>") != std::string::npos;

    // The agent's logic at a boundary, measuring as the agent does.
    SetClientOptions({.local_server_port = static_cast<uint16_t>(port)});
    MachineAgentSystem system;
    system.MeasureHomeFolderSize([&](uint64_t bytes) { report.server_answer = bytes; });
    state.system = &system;
    AppSettings& quota = world.settings[std::string(kGlobalSettingsAppKey)];
    quota.dq_enabled = true;
    quota.dq_value = 3;
    EnumerateRunningApplications(state, {});
    Tick(1);
    std::string events;
    for (const std::string& e : world.events) events += e + "\n";
    snprintf(report.events, sizeof report.events, "%s", events.c_str());
    return write(report_pipe[1], &report, sizeof report) == sizeof report;
  });
  close(report_pipe[1]);
  ChildReport report;
  ssize_t got = read(report_pipe[0], &report, sizeof report);
  close(report_pipe[0]);
  ASSERT_TRUE(ran && got == sizeof report) << server.Log();

  // The child's own walk misses the hidden folder and counts the linked
  // file twice; the server's counts every file once.
  EXPECT_EQ(report.own_walk, 1000 + 2 * kMiB);
  EXPECT_EQ(report.server_answer, 1000 + 4 * kMiB) << server.Log();
  EXPECT_TRUE(report.replies_in_order);
  EXPECT_THAT(report.events, ::testing::HasSubstr("4.00 MB, more than the 3.00 MB"));
}

}  // namespace
}  // namespace corvane::test
