#include "StatusMenuModel.h"

#include <gtest/gtest.h>

#include "AgentFakeWorld.h"

namespace corvane {
namespace {

using test::MakeGlobal;
using test::MakeRecord;
using test::MakeSession;

std::vector<std::string> Titles(const StatusMenuModel& model) {
  std::vector<std::string> titles;
  for (const StatusMenuLine& line : model.Lines()) titles.push_back(line.title);
  return titles;
}

TEST(StatusMenuModelTest, CreditValueRounding) {
  const std::pair<double, const char*> cases[] = {{0.45, "45 seconds"}, {0.58, "58 seconds"},
                                                  {0.6, "0 second"},    {0.01, "1 second"},
                                                  {1.45, "1 minute"},   {75.3, "1 hour 15 minutes"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(StatusItemCreditText(value), text) << value;
}

// The lines' titles are checked in the tray's own test; here what the menu
// does not show: which lines are enabled, their keys, and no change for an
// item that never was.
TEST(StatusMenuModelTest, PlaceholderIsDisabledItemsAreKeyedByPid) {
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

TEST(StatusMenuModelTest, OpeningRefreshesNowAndOnTheNextSixtyTicks) {
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
