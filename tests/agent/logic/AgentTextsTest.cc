// What the agent's windows say, apart from the windows: the warnings' texts,
// the credit strip's text and life, the status menu's lines. The window
// tests check that a text is drawn and follows the tick; the cases are here.
// (The disk warning's text: the logic's disk tests.)
#include <gtest/gtest.h>

#include "AgentFakeWorld.h"
#include "CreditStripText.h"
#include "Localization.h"
#include "StatusMenuModel.h"
#include "WarningText.h"

namespace corvane {
namespace {

using test::MakeGlobal;
using test::MakeRecord;
using test::MakeSession;

TEST(AgentTextsTest, WarningKindFollowsTheCreditNow) {
  const std::pair<int32_t, CreditWarningKind> cases[] = {
      {12345, CreditWarningKind::kNoCredit}, {5, CreditWarningKind::kFiveMinutes},
      {1, CreditWarningKind::kLastMinute},   {0, CreditWarningKind::kLastMinute},
      {2, CreditWarningKind::kLastMinute},   {-1, CreditWarningKind::kLastMinute}};
  for (const auto& [credit, kind] : cases) {
    EXPECT_EQ(CreditWarningKindOf(*MakeRecord(10, "org.example.Game", "Game", credit)), kind) << credit;
  }
}

// An unknown kind, and names and arguments that look like a format.
TEST(AgentTextsTest, WarningPlaceholdersTakeArgumentsVerbatim) {
  auto app = MakeRecord(10, "x", "%s%n%1$s%", 1);
  EXPECT_FALSE(CreditWarningText(*app, static_cast<CreditWarningKind>(7)).has_value());
  EXPECT_EQ(CreditWarningText(*app, CreditWarningKind::kNoCredit).value(),
            "%s%n%1$s%: no time left, so %s%n%1$s% will be closed now.");
  const struct {
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
  for (const auto& c : cases) EXPECT_EQ(SubstituteArguments(c.format, c.args), c.out) << c.format;
}

// The front application's record, else the computer's, else "Not watching";
// the last minute in seconds; the disk countdown after it or alone.
TEST(AgentTextsTest, CreditStripText) {
  WatchedAppRef game = MakeRecord(20, "org.example.Game", "Game", 75);
  WatchedAppRef unlimited = MakeRecord(20, "org.example.Game", "Game", 12345);
  const WatchedAppList watching{MakeSession(30), game, MakeRecord(20, "org.example.Game", "Game second", 2),
                                MakeGlobal()};
  const struct {
    WatchedAppList list;
    int32_t front;
    int16_t disk_countdown;
    const char* text;
  } cases[] = {
      {watching, 20, 0, "Game second: 2 minutes left"},  // the last one in front wins
      {watching, 77, 0, "computer: 30 minutes left"},
      // No front process is pid 0, which is no reason to pick the disk record.
      {watching, 0, 0, "computer: 30 minutes left"},
      {{game, MakeGlobal()}, 77, 0, "Not watching"},
      {{MakeRecord(20, "org.example.Game", "Game", 1, 15, true), MakeGlobal(50)}, 20, 0,
       "Game: 45 seconds left"},
      {{game, MakeGlobal(50)}, 20, -1,
       "Game: 1 hour 15 minutes left Disk quota exceeded: the session ends in 2 minutes"},
      {{game, MakeGlobal(50)}, 20, -2,
       "Game: 1 hour 15 minutes left Disk quota exceeded: the session ends in 10 seconds"},
      {{unlimited, MakeGlobal(50)}, 20, 0, ""},
      {{unlimited, MakeGlobal(50)}, 99, -1, "Disk quota exceeded: the session ends in 2 minutes"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CreditStripText(c.list, c.front, c.disk_countdown), c.text) << c.front << " " << c.text;
  }
}

TEST(AgentTextsTest, AgentsOwnWindowIsNeverTheFrontApplication) {
  struct Case {
    int32_t front, warned, shown, subject;
  } cases[] = {
      {20, 0, 7, 20},   // an application in front
      {42, 0, 20, 20},  // the agent's own window: the record shown before
      {42, 20, 7, 20},  // a warning is up: its record
      {7, 20, 7, 20},   // whatever is in front
      {0, 0, 20, 0},    // nothing in front: the computer
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CreditStripSubject(c.front, 42, c.warned, c.shown), c.subject) << c.front;
  }
}

TEST(AgentTextsTest, CreditStripFourPassesAndARepeatDoesNotExtend) {
  CreditStripLifetime strip;
  EXPECT_FALSE(strip.Tick());  // hidden: nothing to count
  EXPECT_TRUE(strip.Show());
  EXPECT_FALSE(strip.Tick());
  EXPECT_FALSE(strip.Tick());
  EXPECT_FALSE(strip.Show());  // the hot key again, two passes in
  EXPECT_EQ(strip.stripCountdown(), 2);
  EXPECT_FALSE(strip.Tick());
  EXPECT_TRUE(strip.Tick());
  EXPECT_FALSE(strip.visible());
  EXPECT_TRUE(strip.Show());
  EXPECT_EQ(strip.stripCountdown(), 4);
}

std::vector<std::string> Titles(const StatusMenuModel& model) {
  std::vector<std::string> titles;
  for (const StatusMenuLine& line : model.Lines()) titles.push_back(line.title);
  return titles;
}

TEST(AgentTextsTest, StatusMenuCreditValueRounding) {
  const std::pair<double, const char*> cases[] = {{0.45, "45 seconds"}, {0.58, "58 seconds"},
                                                  {0.6, "0 second"},    {0.01, "1 second"},
                                                  {1.45, "1 minute"},   {75.3, "1 hour 15 minutes"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(StatusItemCreditText(value), text) << value;
}

// The lines' titles are checked in the tray's own test; here what the menu
// does not show: which lines are enabled, their keys, and no change for an
// item that never was.
TEST(AgentTextsTest, StatusMenuPlaceholderIsDisabledItemsAreKeyedByPid) {
  StatusMenuModel model;
  std::vector<StatusMenuLine> lines = model.Lines();
  EXPECT_FALSE(lines[0].enabled);
  EXPECT_EQ(lines[2].kind, StatusMenuLine::kSeparator);
  EXPECT_TRUE(lines[3].enabled);
  model.RefreshAppMenuItems({MakeRecord(30, "org.example.Editor", "Editor", 75, 0), MakeSession(0, 15),
                             MakeGlobal()});
  EXPECT_EQ(model.Lines()[0].key, "-1");
  EXPECT_EQ(model.Lines()[1].key, "30");
  const uint64_t before = model.revision();
  model.RemoveAppMenuItem(999);
  EXPECT_EQ(model.revision(), before);
  // Down to none: the placeholder is back; the quota off.
  model.RemoveAppMenuItem(-1);
  model.RemoveAppMenuItem(30);
  model.SetDiskMenuItem(true, 100, 50);
  model.SetDiskMenuItem(false, 0, 0);
  EXPECT_EQ(Titles(model), (std::vector<std::string>{"No application watched", "No disk quota", "",
                                                     "Lock computer"}));
}

TEST(AgentTextsTest, StatusMenuOpeningRefreshesNowAndOnTheNextSixtyTicks) {
  StatusMenuModel model;
  WatchedAppList list{MakeRecord(20, "org.example.Game", "Game", 3, 0)};
  EXPECT_FALSE(model.Tick(list));
  EXPECT_EQ(Titles(model)[0], "No application watched");  // never opened: no app item yet
  model.MenuWillOpen(list);
  EXPECT_EQ(Titles(model)[0], "Game: 3 minutes left");
  for (int i = 0; i < 60; ++i) {
    list[0]->settings.credit = 100 + i;
    ASSERT_TRUE(model.Tick(list)) << i;
  }
  EXPECT_EQ(Titles(model)[0], "Game: 2 hours 39 minutes left");
  list[0]->settings.credit = 7;
  EXPECT_FALSE(model.Tick(list));
  EXPECT_EQ(model.menuRefreshTicks(), 0);
  EXPECT_EQ(Titles(model)[0], "Game: 2 hours 39 minutes left");
}

}  // namespace
}  // namespace corvane
