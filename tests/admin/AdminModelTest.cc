// The window's model of a child's limits, without Qt: what the editors show
// for a stored record, what a save sends, which entries are refused, and
// how children, applications and days are named.
#include <gtest/gtest.h>

#include "AdminClient.h"
#include "AppNames.h"
#include "ChildLimits.h"
#include "ChildList.h"
#include "UsageSeries.h"

namespace corvane::admin {
namespace {

AppSettings Stored(const ChildLimits& l, LimitsKind kind, AppSettings before = {}) {
  return ApplyChanges(before, ChangesOfLimits(l, kind));
}

// The account's editor changes the quota and nothing else.
TEST(AdminModelTest, AccountEditorStoresOnlyTheQuota) {
  AppSettings before;
  before.credit = 33;
  before.enabled = true;
  ChildLimits q;
  q.quota_on = true;
  q.quota = 2;
  q.quota_unit = SizeUnit::kGB;
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
    void (*change)(ChildLimits*);
    LimitsKind kind;
    const char* key;  // nullptr: accepted
  } cases[] = {
      {"sound", [](ChildLimits*) {}, LimitsKind::kApplication, nullptr},
      {"curfew of no time", [](ChildLimits* l) { l->weekend_curfew = {true, 600, 600}; },
       LimitsKind::kComputer, "Admin.Check.WeekendCurfew"},
      {"a curfew switched off is not judged",
       [](ChildLimits* l) { l->weekend_curfew = {false, 600, 60}; }, LimitsKind::kComputer,
       nullptr},
      {"allowance over a day", [](ChildLimits* l) { l->weekend_minutes = 1441; },
       LimitsKind::kApplication, "Admin.Check.Allowance"},
      {"negative credit", [](ChildLimits* l) { l->credit = -1; }, LimitsKind::kApplication,
       "Admin.Check.Credit"},
      {"quota of nothing", [](ChildLimits* l) { l->quota_on = true; }, LimitsKind::kAccount,
       "Admin.Check.Quota"},
      {"quota over 16 TB",
       [](ChildLimits* l) {
         l->quota_on = true;
         l->quota = 16 * 1024 + 1;
         l->quota_unit = SizeUnit::kGB;
       },
       LimitsKind::kAccount, "Admin.Check.Quota"},
      {"the account ignores its time fields", [](ChildLimits* l) { l->credit = -5; },
       LimitsKind::kAccount, nullptr},
  };
  for (const Case& c : cases) {
    ChildLimits l;
    c.change(&l);
    auto wrong = CheckLimits(l, c.kind);
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

  std::vector<DesktopEntry> entries;
  for (auto [id, name] : {std::pair{"org.b.Zeta", "zeta"}, {"org.a.Game", "Alpha"},
                          {"org.c.Chat", "Chat"}, {"org.a.Game", "Other"}}) {
    DesktopEntry e;
    e.id = id;
    e.name = name;
    entries.push_back(e);
  }
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
