// The agent's logic stepped pass by pass: warnings, charges and kills at the
// right boundaries, curfews, the disk countdown, records that leave the list
// while a warning waits, which processes are watched, and the start-up steps.
// Then against the real server on loopback: minutes kept while it is away
// reach it when it is back, and the disk quota holds against a child who
// hides files behind permissions.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "AgentFakeWorld.h"
#include "AgentStartup.h"
#include "ApplicationWatching.h"
#include "ClientListWatch.h"
#include "CorvaneLoader.h"
#include "CorvaneServerLink.h"
#include "Enforcement.h"
#include "MinuteTick.h"
#include "HomeFolderSize.h"
#include "HomeFolderSizeReply.h"
#include "MachineAgentSystem.h"
#include "Paths.h"
#include "Platform/System/Clock.h"
#include "PlistFile.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr uint64_t kMiB = 1 << 20;

class AgentLogicTest : public ::testing::Test {
 protected:
  AgentLogicTest() {
    state.user_name = "kid";
    state.login_pid = kLoginPid;
    state.ui = &world;
    state.system = &world;
    state.server = &world;
  }
  AppSettings& Allow(const std::string& app, int32_t credit) {
    AppSettings& s = world.settings[app];
    s.enabled = true;
    s.credit = credit;
    s.wd_stop = s.we_stop = kDefaultWindowStop;
    return s;
  }
  bool Launch(int32_t pid, const std::string& app) {
    return HandleApplicationLaunched(state, {pid, app, app});
  }
  void Tick(int passes) {
    for (int i = 0; i < passes; ++i) ++world.pass, OnTick(state);
  }
  FakeWorld world;
  AgentState state;
};

AbsoluteTime At(int day, int hour, int minute) {  // January 2024: the 8th is a Monday
  return *AbsoluteTimeOfLocal(2024, 1, day, hour, minute, 0);
}

TEST_F(AgentLogicTest, CreditRunsOutWithWarningsAtTheirBoundaries) {
  struct Case {
    int32_t credit;
    bool last_minute_credit;
    std::vector<std::string> events;
    int charged;
  } cases[] = {
      {10, true, {"0 strip", "301 warn five 100", "541 warn last 100", "601 kill 100",
                  "601 unlisted 100"}, 11},
      {2, true, {"0 strip", "61 warn last 100", "121 kill 100", "121 unlisted 100"}, 3},
      {0, true, {"0 strip", "1 warn last 100", "61 kill 100", "61 unlisted 100"}, 2},
      {0, false, {"0 strip", "1 warn nocredit 100", "1 kill 100", "1 unlisted 100"}, 1},
  };
  for (const Case& c : cases) {
    world = FakeWorld();
    state.watched_apps.clear();
    state.last_minute_credit = c.last_minute_credit;
    Allow("game", c.credit);
    ASSERT_TRUE(Launch(100, "game"));
    Tick(700);
    EXPECT_THAT(world.events, ElementsAreArray(c.events)) << "credit " << c.credit;
    EXPECT_EQ(world.charged["game"], c.charged) << "credit " << c.credit;
    EXPECT_TRUE(state.watched_apps.empty());
  }
}

TEST_F(AgentLogicTest, CurfewWarnsThenKillsTheAppOrEndsTheSession) {
  struct Case {
    AbsoluteTime now;
    void (*set)(AppSettings&);
    std::vector<std::string> events;
  } cases[] = {
      {At(8, 7, 30), [](AppSettings& s) { s.wd_curfew_enabled = true; s.wd_start = 480; },
       {"1 curfew early 480 100", "61 kill 100", "62 unlisted 100"}},
      {At(13, 7, 30), [](AppSettings& s) { s.we_curfew_enabled = true; s.we_start = 480; },
       {"1 curfew early 480 100", "61 kill 7"}},
      {At(8, 20, 0), [](AppSettings& s) { s.wd_curfew_enabled = true; s.wd_stop = 1200; },
       {"1 curfew late 1200 100", "61 kill 7"}},
      {At(8, 23, 59), [](AppSettings& s) { s.wd_curfew_enabled = true; },
       {"1 curfew late 1439 100", "61 kill 7"}},
      {At(8, 23, 58), [](AppSettings& s) { s.wd_curfew_enabled = true; }, {}},
  };
  for (const Case& c : cases) {
    world = FakeWorld();
    world.now = c.now;
    state.watched_apps.clear();
    c.set(Allow("game", 100));
    ASSERT_TRUE(HandleApplicationLaunched(state, {100, "game", ""}));
    world.events.clear();
    Tick(62);
    EXPECT_THAT(world.events, ElementsAreArray(c.events)) << c.now;
  }
}

TEST_F(AgentLogicTest, DiskCountdownEndsTheSessionAtTheSecondBoundaryOrResets) {
  world.settings[std::string(kGlobalSettingsAppKey)] = {.dq_enabled = true, .dq_value = 100};
  EnumerateRunningApplications(state, {});
  ASSERT_EQ(state.watched_apps.size(), 1u);  // the computer is not watched here
  for (uint64_t second_minute_home : {150 * kMiB, 50 * kMiB}) {
    world.events.clear();
    state.disk_quota_countdown = 0;
    world.home_bytes = 150 * kMiB;
    Tick(1);  // each Tick below ends on a boundary
    world.home_bytes = second_minute_home;
    Tick(60);
    world.home_bytes = 150 * kMiB;
    Tick(60);
    ASSERT_EQ(world.events.size(), 2u);
    EXPECT_THAT(world.events[0], HasSubstr("150.00 MB, more than the 100.00 MB"));
    EXPECT_THAT(world.events[1], second_minute_home > 100 * kMiB ? HasSubstr(" kill 7")
                                                                 : HasSubstr(" message "));
    Tick(59);
  }
  EXPECT_EQ(state.watched_apps[0]->pid, 0);
  EXPECT_EQ(state.watched_apps[0]->settings.credit, kGlobalSettingsCredit - 1);
  EXPECT_TRUE(world.charged.empty());
}

TEST_F(AgentLogicTest, RefusedKillGoesToTheServerAndCapturedScreenGoesFirst) {
  state.last_minute_credit = false;
  for (int status : {0, -1}) {
    world.events.clear();
    world.pass = 0;
    world.refuses_kill = {kLoginPid};
    world.disconnection_status = status;
    world.captured = true;
    world.front_pid = 55;
    Allow(std::string(kComputerAppKey), 0);
    EnumerateRunningApplications(state, {});
    testing::internal::CaptureStdout();
    Tick(1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(world.events, ElementsAre("1 warn nocredit 7", "1 kill 55", "1 sleep 5",
                                          "1 server kill 7", "1 unlisted 7"));
    EXPECT_THAT(out, HasSubstr("Killed pid 55 ourself!\n"));
    EXPECT_EQ(out.find("Killed pid 7"), std::string::npos);
    EXPECT_EQ(out.find("Could not make corvane server kill process 7.\n") != std::string::npos,
              status != 0);
    state.watched_apps.clear();
  }
}

// No answer is no reprieve: the records count down from their last
// settings, warn and kill; a game started again meanwhile counts on from
// where it stopped, and one never known is identified once the server is
// back.
TEST_F(AgentLogicTest, ServerAwayKeepsCountingWarningAndKilling) {
  Allow("a", 10);
  Allow("b", 3);
  Allow("c", 5);
  ASSERT_TRUE(Launch(100, "a") && Launch(200, "b"));
  Tick(2);
  world.reachable = false;
  world.events.clear();
  Tick(180);
  EXPECT_THAT(world.events, ElementsAre("121 warn last 200", "181 kill 200", "181 unlisted 200"));
  ASSERT_EQ(state.watched_apps.size(), 1u);
  EXPECT_EQ(state.watched_apps[0]->settings.credit, 6);
  EXPECT_EQ(world.charged["a"] + world.charged["b"], 2);

  world.events.clear();
  // Last known: no credit; with today's statistics out of reach no last
  // minute either, so it is warned and ends when the warning closes.
  EXPECT_TRUE(Launch(201, "b"));
  EXPECT_FALSE(Launch(300, "c"));  // never known
  Tick(61);
  EXPECT_THAT(world.events, ElementsAre("182 strip", "183 warn nocredit 201", "183 kill 201",
                                        "183 unlisted 201"));
  world.reachable = true;
  world.back = true;
  Tick(1);
  ASSERT_EQ(state.watched_apps.size(), 2u);
  EXPECT_EQ(state.watched_apps[1]->pid, 300);
  EXPECT_TRUE(state.unanswered.empty());
}

TEST_F(AgentLogicTest, RecordRemovedDuringWarningIsNeverTouchedAgain) {
  state.last_minute_credit = false;
  Allow("a", 5);
  Allow("b", 0);
  Allow("c", 5);
  ASSERT_TRUE(Launch(100, "a") && Launch(200, "b") && Launch(300, "c"));
  WatchedAppRef a = state.watched_apps[0];
  world.on_warning = [this](const WatchedApp& r) {
    if (r.pid != 300) HandleApplicationTerminated(state, r.pid);
  };
  world.events.clear();
  Tick(1);
  EXPECT_THAT(world.events, ElementsAre("1 warn five 100", "1 unlisted 100", "1 warn nocredit 200",
                                        "1 unlisted 200", "1 warn five 300"));
  EXPECT_EQ(world.charged["a"] + world.charged["b"], 0);
  EXPECT_EQ(world.charged["c"], 1);
  EXPECT_EQ(a->seconds_in_minute, 0u);
  EXPECT_EQ(a->settings.credit, 5);
}

TEST_F(AgentLogicTest, TwoProcessesOfOneAppAreRemovedIndependently) {
  Allow("game", 30);
  ASSERT_TRUE(Launch(100, "game") && Launch(101, "game"));
  HandleApplicationTerminated(state, 100);
  ASSERT_EQ(state.watched_apps.size(), 1u);
  EXPECT_EQ(state.watched_apps[0]->pid, 101);
  Tick(61);
  EXPECT_EQ(world.charged["game"], 2);
  world.dead.insert(101);
  Tick(1);
  EXPECT_TRUE(state.watched_apps.empty());
}

std::vector<std::string> Keys(const AgentState& state) {
  std::vector<std::string> keys;
  for (const auto& r : state.watched_apps) keys.push_back(r->identifier + "@" + std::to_string(r->pid));
  return keys;
}

TEST_F(AgentLogicTest, EnumerationPutsTheSessionFirstAndTheDiskQuotaLast) {
  Allow(std::string(kComputerAppKey), 30);
  Allow("app.ok", 0);
  AppSettings& global = Allow(std::string(kGlobalSettingsAppKey), 99);
  global.wd_curfew_enabled = global.dq_enabled = true;
  global.dq_value = 100;
  state.last_minute_credit = false;
  EnumerateRunningApplications(state, {{100, "app.ok", "OK"}, {101, "app.off", ""},
                                       {kAgentPid, "app.ok", ""}, {kLoginPid, "app.ok", ""},
                                       {102, std::string(kComputerAppKey), ""}, {103, "", ""}});
  EXPECT_THAT(Keys(state), ElementsAre("com.apple.loginwindow@7", "app.ok@100",
                                       "com.quarlant.globalSettings@0"));
  EXPECT_EQ(state.watched_apps[0]->display_name, "computer");
  EXPECT_EQ(state.watched_apps[1]->settings.credit, kNoCreditMarker);
  EXPECT_EQ(state.watched_apps[2]->settings, (AppSettings{.dq_enabled = true, .dq_value = 100}));
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
  EXPECT_EQ(state.watched_apps[0]->settings.credit, 1);
  Tick(62);
  ASSERT_TRUE(Launch(101, "game"));
  EXPECT_EQ(state.watched_apps[0]->settings.credit, kNoCreditMarker);
  Tick(1);
  EXPECT_THAT(world.events, ElementsAre("0 strip", "1 warn last 100", "61 kill 100",
                                        "61 unlisted 100", "62 strip", "63 warn nocredit 101",
                                        "63 kill 101", "63 unlisted 101"));
  world.stats_unknown = true;  // statistics that cannot be read give no last minute
  Allow("chess", 0);
  ASSERT_TRUE(Launch(200, "chess"));
  EXPECT_EQ(state.watched_apps.back()->settings.credit, kNoCreditMarker);
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
  EXPECT_EQ(state.watched_apps[0]->display_name, "Other applications");
  EXPECT_EQ(state.watched_apps[2]->display_name, "Twin 2");
  EXPECT_FALSE(HandleApplicationLaunched(state, {104, "mine", "", {{std::string(kComputerAppKey), ""}}}));
}

TEST(ClientListChangesTest, ReportsOneLaunchPerProcessAndEndsOnlyWhenItIsGone) {
  std::set<int32_t> running = {10, 11, 12};
  ClientListChanges watch([](int32_t pid) { return pid != 13; },
                         [&running](int32_t pid) { return running.count(pid) != 0; });
  auto pids = [](const ClientListChanges::Changes& c) {
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
  EXPECT_EQ(pids(ClientListChanges().Update(list({10}))), P({10}, {}));
}

TEST_F(AgentLogicTest, StartupReadsAccountPreferencesAndConnects) {
  TempRoot root;
  MakeFolders(root.Path("/Library/Preferences/ByHost"));
  auto set = [&root](std::string_view file, const char* key, Plist value) {
    ASSERT_TRUE(SetPlistFileKey(root.Path(std::string(file)), key, std::move(value)).ok());
  };
  EXPECT_FALSE(IsNonWatchedAccount("kid"));
  set(kPreferenceFile, "Non-watched account", Plist::String("KiD"));
  EXPECT_TRUE(IsNonWatchedAccount("kid") && !IsNonWatchedAccount("kid2"));
  ReadAlertPreferences(&state);
  EXPECT_TRUE(state.last_minute_credit && !state.auto_hide_alerts && !state.dont_fade_screen);
  EXPECT_EQ(ReadConfigurationValue(), 0);
  set(kHostPreferenceFile, "Last Minute Credit", Plist::String("0"));
  set(kHostPreferenceFile, "Auto Hide Alerts", Plist::String("1"));
  set(kHostPreferenceFile, "Configuration", Plist::Integer(258));
  ReadAlertPreferences(&state);
  EXPECT_TRUE(!state.last_minute_credit && state.auto_hide_alerts && !state.play_alerts_sound);
  EXPECT_EQ(ReadConfigurationValue(), 2);  // read as 8 bits
  world.failed_connects = 2;
  EXPECT_EQ(ConnectDuringStartup(world, world), 0);
  EXPECT_THAT(world.events, ElementsAre("0 sleep 1", "0 sleep 1"));  // paced, not spun
  world.reachable = false;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ConnectDuringStartup(world, world, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot contact server err = -1.\n");
}

// The real server stopped for 90 passes mid-session: the two minutes counted
// while it was away reach its statistics and credit once it is back. (The
// warning and the kill meanwhile: ServerAwayKeepsCountingWarningAndKilling.)
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
  Tick(90);
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

  // The checks run in the child, whose failures print there; the child says
  // whether it had any.
  bool clean = RunAsUser(child.name(), [&] {
    // As the child would: the folder stays usable by name, but no walk of
    // theirs can list it. Their own walk misses the hidden folder and counts
    // the linked file twice; the server's counts every file once.
    chmod((home + "/secret").c_str(), 0300);
    EXPECT_EQ(HomeFolderSize(), 1000 + 2 * kMiB);

    // A query behind the size on the same connection is answered after it.
    Connection c(port);
    c.Send(Concat({BuildRequest(kHomeFolderSize, {}), UserAppRequest(kGetCredit, "kid", "x")}));
    std::optional<std::string> first = c.ReadReply(), second = c.ReadReply();
    EXPECT_TRUE(first && ReadHomeFolderSizeReply(std::span(
                             reinterpret_cast<const uint8_t*>(first->data()), first->size())));
    EXPECT_TRUE(second && second->find("<dict/>") != std::string::npos);

    // The agent's logic at a boundary, measuring as the agent does.
    SetClientOptions({.local_server_port = static_cast<uint16_t>(port)});
    MachineAgentSystem system;
    uint64_t server_answer = 0;
    system.MeasureHomeFolderSize([&](uint64_t bytes) { server_answer = bytes; });
    EXPECT_EQ(server_answer, 1000 + 4 * kMiB);
    state.system = &system;
    world.settings[std::string(kGlobalSettingsAppKey)] = {.dq_enabled = true, .dq_value = 3};
    EnumerateRunningApplications(state, {});
    Tick(1);
    EXPECT_THAT(world.events, testing::Contains(HasSubstr("4.00 MB, more than the 3.00 MB")));
    return !HasFailure();
  });
  EXPECT_TRUE(clean) << "the child's checks above failed\n" << server.Log();
}

}  // namespace
}  // namespace corvane::test
