#include "CreditStripText.h"

#include <gtest/gtest.h>

#include "AgentUiTestRecords.h"

namespace corvane {
namespace {

using test::MakeGlobal;
using test::MakeRecord;
using test::MakeSession;

TEST(CreditStripTextTest, FrontApplicationElseComputerElseNotWatching) {
  WatchedAppList list{MakeSession(30), MakeRecord(20, "org.example.Game", "Game", 75),
                      MakeRecord(20, "org.example.Game", "Game second", 2), MakeGlobal()};
  EXPECT_EQ(CreditStripText(list, 20, 0), "Game second: 2 minutes left");  // last one wins
  EXPECT_EQ(CreditStripText(list, 77, 0), "computer: 30 minutes left");
  // No front process is pid 0, which is no reason to pick the disk record.
  EXPECT_EQ(CreditStripText(list, 0, 0), "computer: 30 minutes left");
  list.erase(list.begin());
  EXPECT_EQ(CreditStripText(list, 77, 0), "Not watching");
}

TEST(CreditStripTextTest, LastMinuteInSecondsMarkerSilentDiskCountdown) {
  WatchedAppList list{MakeRecord(20, "org.example.Game", "Game", 1, 15, true), MakeGlobal(50)};
  EXPECT_EQ(CreditStripText(list, 20, 0), "Game: 45 seconds left");
  list[0]->settings.Credit = 75;
  list[0]->warned = false;
  EXPECT_EQ(CreditStripText(list, 20, 0), "Game: 1 hour 15 minutes left");
  EXPECT_EQ(CreditStripText(list, 20, -1),
            "Game: 1 hour 15 minutes left Disk quota exceeded: the session ends in 2 minutes");
  EXPECT_EQ(CreditStripText(list, 20, -2),
            "Game: 1 hour 15 minutes left Disk quota exceeded: the session ends in 10 seconds");
  list[0]->settings.Credit = 12345;
  EXPECT_EQ(CreditStripText(list, 20, 0), "");
  EXPECT_EQ(CreditStripText(list, 99, -1), "Disk quota exceeded: the session ends in 2 minutes");
}

TEST(CreditStripTextTest, FourPassesAndARepeatDoesNotExtend) {
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

}  // namespace
}  // namespace corvane
