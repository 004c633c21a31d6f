// c5admin and the window without a server or Qt: units, command lines,
// reports and admin address ranges; the window's model of a child's limits:
// what the editors show for a stored record, what a save sends, which
// entries are refused, and how children, applications and days are named.
#include <pugixml.hpp>

#include <gtest/gtest.h>

#include "AdminClient.h"
#include "AdminCommandLine.h"
#include "AdminReport.h"
#include "AppNames.h"
#include "ChildLimits.h"
#include "ChildList.h"
#include "IpAddress.h"
#include "UsageSeries.h"

// A case names only the fields it sets; GCC would warn about every other one.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace corvane::admin {
namespace {

std::optional<AdminRequest> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  AdminRequest r;
  std::string e;
  bool ok = ParseAdminCommandLine(args, &r, &e);
  if (error) *error = e;
  if (!ok) {
    EXPECT_FALSE(e.empty());
    return std::nullopt;
  }
  return r;
}

TEST(AdminArgumentsTest, UnitsParseOrAreRefused) {
  for (auto [text, minutes] : {std::pair{"45m", 45}, {"2h", 120}, {"1h30m", 90}, {"0", 0}, {"90M", 90}})
    EXPECT_EQ(ParseDuration(text), minutes) << text;
  for (const char* bad : {"", "45", "m", "h", "1h30", "-5m", "1.5h", "2h 3m", "30m1h", "5x",
                          "99999999999m", "1h1h"}) {
    EXPECT_FALSE(ParseDuration(bad)) << bad;
  }
  for (auto [text, mb] : {std::pair{"500MB", 500}, {"2GB", 2048}, {"2gb", 2048}})
    EXPECT_EQ(ParseQuota(text), mb) << text;
  for (const char* bad : {"", "500", "MB", "1.5GB", "-1MB", "500KB", "3000000GB"}) {
    EXPECT_FALSE(ParseQuota(bad)) << bad;
  }
  EXPECT_EQ(ParseWindow("00:00-24:00")->stop, 1440);
  for (const char* bad : {"8:00-20:00", "20:00-08:00", "08:00-08:00", "08:60-09:00", "25:00-26:00",
                          "08:00", "08:00-", "24:00-24:00"}) {
    EXPECT_FALSE(ParseWindow(bad)) << bad;
  }
  EXPECT_EQ(RefillOfMinutes(0).coeff, 1);

  EXPECT_EQ(ParseServerAddress("host")->port, 0);
  EXPECT_EQ(ParseServerAddress("127.0.0.1:5000")->port, 5000);
  EXPECT_EQ(ParseServerAddress("[::1]:5000")->host, "::1");
  EXPECT_EQ(ParseServerAddress("::1")->host, "::1");
  for (const char* bad : {"", ":5", "h:", "h:0", "h:65536", "h:x", "[::1", "[::1]x"}) {
    EXPECT_FALSE(ParseServerAddress(bad)) << bad;
  }
}

TEST(AdminArgumentsTest, CommandLines) {
  // What the end-to-end test does not send: a weekend curfew switched off,
  // --disable, a bracketed server address and the other-apps key.
  auto r = Parse({"set", "alice", "computer", "--curfew-weekend", "off", "--json", "--disable"});
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->json);
  ASSERT_TRUE(r->changes.weekend_curfew);
  EXPECT_FALSE(*r->changes.weekend_curfew);
  EXPECT_EQ(r->changes.enabled, false);
  EXPECT_FALSE(r->changes.weekday_curfew);
  r = Parse({"--server", "[::1]:4000", "show", "bob"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->server->port, 4000);
  EXPECT_TRUE(r->app.empty());
  EXPECT_EQ(Parse({"grant", "bob", "otherApps", "5"})->app, "com.quarlant.otherApps");

  std::string error;
  EXPECT_FALSE(Parse({"set", "alice", "computer"}, &error));
  EXPECT_NE(error.find("at least one change"), std::string::npos);
  const std::vector<std::vector<std::string>> bad = {
      {}, {"show"}, {"show", "a", "b", "c"}, {"set", "alice", "computer", "--credit"},
      {"set", "alice", "computer", "--carry-over", "yes"}, {"set", "alice", "computer", "--bogus"},
      {"grant", "bob", "computer", "0"}, {"grant", "bob", "computer", "ten"},
      {"grant", "bob", "computer"}, {"stats", "bob", "computer", "--days", "0"},
      {"stats", "bob", "computer", "--chart"}, {"--server"}, {"--server", "h:99999", "show", "bob"},
      {"frobnicate", "bob"}, {"show", ""}};
  for (const auto& args : bad) EXPECT_FALSE(Parse(args)) << testing::PrintToString(args);
}

TEST(AdminArgumentsTest, ChartIsXmlWithOneBarPerDay) {
  std::vector<DayUsage> days;
  for (int i = 1; i <= 10; ++i) days.push_back({"2026-12-0" + std::to_string(i % 10), i * 17});
  std::string svg = StatsChartSvg("al<i>ce & co", "computer", days);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str()));
  auto bars = doc.select_nodes("//rect[@class='bar']");
  ASSERT_EQ(bars.size(), days.size());
  // Bars grow with the minutes and stay inside the plot.
  int previous = -1;
  for (size_t i = 0; i < bars.size(); ++i) {
    int h = bars[i].node().attribute("height").as_int();
    EXPECT_GT(h, previous);
    EXPECT_LE(h, 300);
    EXPECT_EQ(bars[i].node().attribute("data-minutes").as_int(), days[i].minutes);
    previous = h;
  }
  EXPECT_EQ(doc.select_nodes("//text[@class='axis-label']").size(), 2u);
  EXPECT_TRUE(doc.load_string(StatsChartSvg("u", "a", {}).c_str()));

  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
  EXPECT_EQ(ShortDuration(-5), "-5m");
}

TEST(AdminArgumentsTest, AdminAddressRanges) {
  auto in = [](const char* range, const char* address) {
    auto r = ParseIpRange(range);
    auto a = ParseIpAddress(address);
    EXPECT_TRUE(r && a) << range << " " << address;
    return r && a && r->Contains(*a);
  };
  // A mapped peer (::ffff:127.0.0.1) is its IPv4 self.
  for (auto [range, address, inside] :
       {std::tuple{"10.0.0.0/8", "10.200.3.4", true}, {"10.0.0.0/8", "11.0.0.1", false},
        {"192.168.1.7", "192.168.1.7", true}, {"192.168.1.7", "192.168.1.8", false},
        {"192.168.1.0/25", "192.168.1.127", true}, {"192.168.1.0/25", "192.168.1.128", false},
        {"0.0.0.0/0", "8.8.8.8", true}, {"127.0.0.0/8", "::ffff:127.0.0.1", true},
        {"fd00::/8", "fd12::1", true}, {"::1", "127.0.0.1", false}}) {
    EXPECT_EQ(in(range, address), inside) << range << " " << address;
  }
  for (const char* bad : {"", "10.0.0.0/33", "10.0.0/8", "::1/129", "10.0.0.0/", "10.0.0.0/x",
                          "host.example"}) {
    EXPECT_FALSE(ParseIpRange(bad)) << bad;
  }
  EXPECT_EQ(ParseIpAddress("::ffff:10.1.2.3")->Text(), "10.1.2.3");
}

AppSettings Stored(const ChildLimits& l, LimitsKind kind, AppSettings before = {}) {
  return ApplyChanges(before, ChangesOfLimits(l, kind));
}

// The account's editor changes the quota and nothing else.
TEST(AdminModelTest, AccountEditorStoresOnlyTheQuota) {
  AppSettings before;
  before.credit = 33;
  before.enabled = true;
  ChildLimits q{.quota_on = true, .quota = 2, .quota_unit = SizeUnit::kGB};
  AppSettings account = Stored(q, LimitsKind::kAccount, before);
  EXPECT_EQ(account.dq_value, 2048);
  EXPECT_TRUE(account.dq_enabled);
  EXPECT_EQ(account.credit, 33);
  EXPECT_TRUE(account.enabled);
  ChildLimits shown = LimitsOfSettings(account);
  EXPECT_EQ(shown.quota, 2);
  EXPECT_EQ(shown.quota_unit, SizeUnit::kGB);
  account.dq_value = 1500;
  EXPECT_EQ(LimitsOfSettings(account).quota_unit, SizeUnit::kMB);
}

TEST(AdminModelTest, UnsoundEntriesAreNamed) {
  struct Case {
    const char* what;
    ChildLimits limits;
    LimitsKind kind;
    const char* key;  // nullptr: accepted
  } cases[] = {
      {"sound", {}, LimitsKind::kApplication, nullptr},
      {"curfew of no time", {.weekend_curfew = {true, 600, 600}}, LimitsKind::kComputer,
       "Admin.Check.WeekendCurfew"},
      {"a curfew switched off is not judged", {.weekend_curfew = {false, 600, 60}},
       LimitsKind::kComputer, nullptr},
      {"allowance over a day", {.weekend_minutes = 1441}, LimitsKind::kApplication,
       "Admin.Check.Allowance"},
      {"negative credit", {.credit = -1}, LimitsKind::kApplication, "Admin.Check.Credit"},
      {"quota of nothing", {.quota_on = true}, LimitsKind::kAccount, "Admin.Check.Quota"},
      {"quota over 16 TB", {.quota_on = true, .quota = 16 * 1024 + 1, .quota_unit = SizeUnit::kGB},
       LimitsKind::kAccount, "Admin.Check.Quota"},
      {"the account ignores its time fields", {.credit = -5}, LimitsKind::kAccount, nullptr},
  };
  for (const Case& c : cases) {
    auto wrong = CheckLimits(c.limits, c.kind);
    if (c.key == nullptr) {
      EXPECT_TRUE(wrong.empty()) << c.what;
    } else {
      ASSERT_EQ(wrong.size(), 1u) << c.what;
      EXPECT_STREQ(wrong[0], c.key) << c.what;
    }
  }
}

TEST(AdminModelTest, ChildrenAppsAndDaysAreNamed) {
  auto children = MergeChildren({{1000, "anna", "Anna B"}, {1001, "ben", "ben"}},
                                {"zoe", "anna"}, {"carl", "ben", ""}, "BEN");
  ASSERT_EQ(children.size(), 4u);
  const char* order[] = {"anna", "ben", "carl", "zoe"};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(children[i].name, order[i]);
  EXPECT_TRUE(children[0].filed && children[0].local);
  EXPECT_TRUE(children[1].non_watched);
  EXPECT_FALSE(children[2].local || children[2].filed);
  EXPECT_TRUE(children[3].filed);

  std::vector<DesktopEntry> entries = {{.id = "org.b.Zeta", .name = "zeta"},
                                       {.id = "org.a.Game", .name = "Alpha"},
                                       {.id = "org.c.Chat", .name = "Chat"},
                                       {.id = "org.a.Game", .name = "Other"}};
  auto choices = ChoosableEntries(entries, {"org.c.Chat"});
  ASSERT_EQ(choices.size(), 2u);
  EXPECT_EQ(choices[0].name, "Alpha");
  EXPECT_EQ(choices[1].name, "zeta");
  EXPECT_EQ(TitleOfApp("org.a.Game", entries).text, "Alpha");
  EXPECT_EQ(TitleOfApp("com.apple.loginwindow", entries).text, "Admin.App.Computer");
  EXPECT_EQ(TitleOfApp("org.elsewhere.App", entries).text, "org.elsewhere.App");
  for (const char* bad : {"", " lead", "tab\there", "\xff\xfe"}) EXPECT_FALSE(IsUsableAppKey(bad));
  EXPECT_TRUE(IsUsableAppKey("org.example.Game"));

  EXPECT_STREQ(LabelOfDate("2026-12-07", UsageSpan::kWeek).weekday_key, "Admin.Weekday.Mon");
  EXPECT_EQ(LabelOfDate("2026-12-07", UsageSpan::kMonth).day, 7);
  EXPECT_EQ(LabelOfDate("2026-02-30", UsageSpan::kWeek).day, 0);
  UsageSummary s = Summarize({{"a", 30}, {"b", 95}, {"c", 0}});
  EXPECT_EQ(s.total, 125);
  EXPECT_EQ(s.average, 41);
  EXPECT_EQ(s.busiest_date, "b");
  EXPECT_EQ(AxisTop(0), 60);
  EXPECT_EQ(AxisTop(95), 120);
}

}  // namespace
}  // namespace corvane::admin
