// Which processes the agent watches, its start-up steps, its texts, and its
// requests against the real server on loopback.
#include <gmock/gmock.h>

#include "AgentFakeWorld.h"
#include "AgentStartup.h"
#include "ApplicationWatch.h"
#include "CorvaneLoader.h"
#include "CorvaneServerLink.h"
#include "Localization.h"
#include "Paths.h"
#include "Platform/System/Clock.h"
#include "PlistFile.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> Keys(const AgentState& state) {
  std::vector<std::string> keys;
  for (const auto& r : state.watchedApps) keys.push_back(r->identifier + "@" + std::to_string(r->pid));
  return keys;
}

TEST_F(AgentLogicTest, EnumerationPutsTheSessionFirstAndTheDiskQuotaLast) {
  Allow(std::string(kComputerAppKey), 30);
  Allow("app.ok", 0);
  AppSettings& global = Allow(std::string(kGlobalSettingsAppKey), 99);
  global.WdCurfewEnabled = global.DqEnabled = true;
  global.DqValue = 100;
  state.lastMinuteCredit = false;
  EnumerateRunningApplications(state, {{100, "app.ok", "OK"}, {101, "app.off", ""},
                                       {kAgentPid, "app.ok", ""}, {kLoginPid, "app.ok", ""},
                                       {102, std::string(kComputerAppKey), ""}, {103, "", ""}});
  EXPECT_THAT(Keys(state), ElementsAre("com.apple.loginwindow@7", "app.ok@100",
                                       "com.quarlant.globalSettings@0"));
  EXPECT_EQ(state.watchedApps[0]->displayName, "computer");
  EXPECT_EQ(state.watchedApps[1]->settings.Credit, kNoCreditMarker);
  AppSettings quota_only;
  quota_only.DqEnabled = true;
  quota_only.DqValue = 100;
  EXPECT_EQ(state.watchedApps[2]->settings, quota_only);
  EXPECT_THAT(world.requests, ElementsAre("refill com.apple.loginwindow", "fetch com.apple.loginwindow",
                                          "refill app.ok", "fetch app.ok", "refill app.off",
                                          "fetch app.off", "fetch com.quarlant.globalSettings"));
}

// The last minute comes once a day: a relaunch after it is warned of having
// no credit and ends when the warning closes; a parent's credit of 0 on a
// day without use still warns before the kill.
TEST_F(AgentLogicTest, LastMinuteOnceADayAcrossRelaunches) {
  Allow("game", 0);
  ASSERT_TRUE(Launch(100, "game"));
  EXPECT_EQ(state.watchedApps[0]->settings.Credit, 1);
  Tick(62);
  ASSERT_TRUE(Launch(101, "game"));
  EXPECT_EQ(state.watchedApps[0]->settings.Credit, kNoCreditMarker);
  Tick(1);
  EXPECT_THAT(world.events, ElementsAre("0 strip", "1 warn last 100", "61 kill 100",
                                        "61 unlisted 100", "62 strip", "63 warn nocredit 101",
                                        "63 kill 101", "63 unlisted 101"));
  world.stats_unknown = true;  // statistics that cannot be read give no last minute
  Allow("chess", 0);
  ASSERT_TRUE(Launch(200, "chess"));
  EXPECT_EQ(state.watchedApps.back()->settings.Credit, kNoCreditMarker);
}

// A program no entry names is charged to "Other applications" once a parent
// watches that key; the user's own entry's key comes first where watched.
TEST_F(AgentLogicTest, OtherApplicationsTakeWhatNoWatchedKeyTakes) {
  const std::string other(kOtherAppsKey);
  EXPECT_FALSE(HandleApplicationLaunched(state, {100, other, "xeyes"}));  // off: nothing charged
  Allow(other, 5);
  ASSERT_TRUE(HandleApplicationLaunched(state, {101, other, "xeyes"}));
  ASSERT_TRUE(HandleApplicationLaunched(state, {102, "mine", "Mine", {{other, "mine"}}}));
  Allow("twin2", 9);
  ASSERT_TRUE(HandleApplicationLaunched(state, {103, "twin1", "Twin 1", {{"twin2", "Twin 2"}}}));
  EXPECT_THAT(Keys(state), ElementsAre(other + "@101", other + "@102", "twin2@103"));
  EXPECT_EQ(state.watchedApps[0]->displayName, "Other applications");
  EXPECT_EQ(state.watchedApps[2]->displayName, "Twin 2");
  EXPECT_FALSE(HandleApplicationLaunched(state, {104, "mine", "", {{std::string(kComputerAppKey), ""}}}));
}

TEST(ApplicationWatchTest, ReportsOneLaunchPerProcessAndEndsOnlyWhenItIsGone) {
  std::set<int32_t> running = {10, 11, 12};
  ApplicationWatch watch([](int32_t pid) { return pid != 13; },
                         [&running](int32_t pid) { return running.count(pid) != 0; });
  auto pids = [](const ApplicationWatch::Changes& c) {
    std::vector<int32_t> launched;
    for (const ClientWindow& w : c.launched) launched.push_back(w.pid);
    return std::make_pair(launched, c.terminated);
  };
  using P = std::pair<std::vector<int32_t>, std::vector<int32_t>>;
  auto list = [](std::vector<int32_t> pids) {  // window ids 1, 2, ...
    std::vector<ClientWindow> windows(pids.size());
    for (size_t i = 0; i < pids.size(); ++i) windows[i].window = uint32_t(i + 1), windows[i].pid = pids[i];
    return windows;
  };
  EXPECT_EQ(pids(watch.Update(list({10, 10, 11, 0, 13}))), P({10, 11}, {}));
  EXPECT_EQ(pids(watch.Update(list({11, 12}))), P({12}, {}));  // 10 hid its window
  running.erase(10);
  running.erase(11);
  EXPECT_EQ(pids(watch.Update(list({12}))), P({}, {10, 11}));
  EXPECT_EQ(pids(ApplicationWatch().Update(list({10}))), P({10}, {}));
}

TEST_F(AgentLogicTest, StartupReadsAccountPreferencesAndConnects) {
  TempRoot root;
  auto write = [&root](std::string_view file, std::vector<std::pair<const char*, Plist>> keys) {
    PlistDictionary d;
    for (auto& [key, value] : keys) d.Set(key, value);
    MakeFolders(root.Path("/Library/Preferences/ByHost"));
    WriteFileOrDie(root.Path(std::string(file)), PlistXml(Plist::Dictionary(d)));
  };
  EXPECT_FALSE(IsNonWatchedAccount("kid"));
  write(kPreferenceFile, {{"Non-watched account", Plist::String("KiD")}});
  EXPECT_TRUE(IsNonWatchedAccount("kid") && !IsNonWatchedAccount("kid2"));
  ReadAlertPreferences(&state);
  EXPECT_TRUE(state.lastMinuteCredit && !state.autoHideAlerts && !state.dontFadeScreen);
  EXPECT_EQ(ReadConfigurationValue(), 0);
  write(kHostPreferenceFile, {{"Last Minute Credit", Plist::String("0")},
                              {"Auto Hide Alerts", Plist::String("1")},
                              {"Configuration", Plist::Integer(258)}});
  ReadAlertPreferences(&state);
  EXPECT_TRUE(!state.lastMinuteCredit && state.autoHideAlerts && !state.playAlertsSound);
  EXPECT_EQ(ReadConfigurationValue(), 2);  // read as 8 bits
  world.failed_connects = 2;
  EXPECT_EQ(ConnectDuringStartup(world, world), 0);
  EXPECT_THAT(world.events, ElementsAre("0 sleep 1", "0 sleep 1"));  // paced, not spun
  world.reachable = false;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ConnectDuringStartup(world, world, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot contact server err = -1.\n");
}

TEST(AgentTextTest, PlaceholdersTakeArgumentsVerbatim) {
  struct Case {
    const char* format;
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {"%s uses %@", {"a", "b"}, "a uses b"},
      {"%2$@ before %1$s", {"a", "b"}, "b before a"},
      {"100%% %s %s", {"%s%n%1$s"}, "100% %s%n%1$s "},
      {"%d %5$s %", {"x"}, "%d  %"},
      {"%2$s/%1$@ %% %s", {"a", "b"}, "b/a % a"},
  };
  for (const Case& c : cases) EXPECT_EQ(SubstituteArguments(c.format, c.args), c.out);
  EXPECT_THAT(FormatLocalized("Disk Space low format", {"150.00 MB", "100.00 MB"}),
              HasSubstr("150.00 MB, more than the 100.00 MB"));
}

// The real server: a charged minute lands in stats.plist, the refreshed
// credit comes back, and a kill request reaches the local server.
TEST_F(AgentLogicTest, RealServerRecordsMinutesAndKillsOnRequest) {
  if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
  TempRoot root;
  ServerProcess server(root);
  if (!server.Start()) GTEST_SKIP() << "the server program did not start";
  Connection seed(server.port());
  seed.Send(SettingsRequest(kSaveCredit, "kid", "game", SampleRecord(2, true)));
  seed.Send(UserAppRequest(kGetCredit, "kid", "game"));
  ASSERT_EQ(CreditOf(seed.ReadPlistReply()), 2);

  ResetClientStateForTesting();
  ASSERT_TRUE(UseServerAddress("127.0.0.1", static_cast<uint16_t>(server.port())));
  SetLocalServerPortForTesting(static_cast<uint16_t>(server.port()));
  CorvaneServerLink link;
  state.server = &link;
  ASSERT_TRUE(Launch(100, "game"));
  Tick(1);
  ASSERT_EQ(state.watchedApps.size(), 1u);
  EXPECT_EQ(state.watchedApps[0]->settings.Credit, 1);
  auto stats = ReadPlistFile(root.Path(std::string(kStatsFile)));
  const Plist* node = stats ? &*stats : nullptr;
  for (const std::string& key : {std::string("kid"), std::string("game"), std::string(kStatsKey),
                                 DayKey(CurrentAbsoluteTime())}) {
    node = node && node->AsDictionary() ? node->AsDictionary()->Find(key) : nullptr;
  }
  EXPECT_EQ(NumberValue(node, 32), 1);

  pid_t child = SpawnProcess({"sleep", "30"});
  EXPECT_EQ(link.DisconnectionRequest(child), 0);
  EXPECT_TRUE(EndedBySignal9(child, 5));
  ResetClientStateForTesting();
}

// The real server stopped for 90 passes mid-session: the game counts down,
// is warned and killed at its limit meanwhile, and the two minutes counted
// while the server was away reach its statistics and credit once it is back.
TEST_F(AgentLogicTest, RealServerAwayMidSessionGetsTheKeptMinutesBack) {
  if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
  TempRoot root;
  auto server = std::make_unique<ServerProcess>(root);
  if (!server->Start()) GTEST_SKIP() << "the server program did not start";
  int port = server->port();
  Connection seed(port);
  seed.Send(SettingsRequest(kSaveCredit, "kid", "game", SampleRecord(2, true)));
  seed.Send(UserAppRequest(kGetCredit, "kid", "game"));
  ASSERT_EQ(CreditOf(seed.ReadPlistReply()), 2);
  ResetClientStateForTesting();
  ASSERT_TRUE(UseServerAddress("127.0.0.1", static_cast<uint16_t>(port)));
  CorvaneServerLink link;
  state.server = &link;
  auto minutes_today = [&root] {
    auto stats = ReadPlistFile(root.Path(std::string(kStatsFile)));
    const Plist* node = stats ? &*stats : nullptr;
    for (const std::string& key : {std::string("kid"), std::string("game"),
                                   std::string(kStatsKey), DayKey(CurrentAbsoluteTime())}) {
      node = node && node->AsDictionary() ? node->AsDictionary()->Find(key) : nullptr;
    }
    return NumberValue(node, 32);
  };

  ASSERT_TRUE(Launch(100, "game"));
  Tick(31);  // minute 1 charged; credit 1
  EXPECT_EQ(minutes_today(), 1);
  server->Stop();
  world.events.clear();
  Tick(90);
  EXPECT_THAT(world.events, ElementsAre("61 warn last 100", "121 kill 100", "121 unlisted 100"));
  EXPECT_TRUE(link.away());
  EXPECT_EQ(link.PendingMinuteCount(), 2u);

  server = std::make_unique<ServerProcess>(root, std::to_string(port));
  ASSERT_TRUE(server->Start());
  EXPECT_TRUE(WaitFor([&] { return Tick(1), !link.away(); }, 10 + kReconnectPauseSeconds));
  EXPECT_EQ(link.PendingMinuteCount(), 0u);
  EXPECT_TRUE(WaitFor([&] { return minutes_today() == 3; }, 5)) << minutes_today();
  Connection check(port);
  check.Send(UserAppRequest(kGetCredit, "kid", "game"));
  EXPECT_EQ(CreditOf(check.ReadPlistReply()), 0);
  ResetClientStateForTesting();
}

}  // namespace
}  // namespace corvane::test
