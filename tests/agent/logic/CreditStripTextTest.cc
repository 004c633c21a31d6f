#include "CreditStripText.h"

#include <gtest/gtest.h>

#include "AgentFakeWorld.h"

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

TEST(CreditStripTextTest, AgentsOwnWindowIsNeverTheFrontApplication) {
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

TEST(CreditStripTextTest, LastMinuteInSecondsMarkerSilentDiskCountdown) {
  WatchedAppList list{MakeRecord(20, "org.example.Game", "Game", 1, 15, true), MakeGlobal(50)};
  EXPECT_EQ(CreditStripText(list, 20, 0), "Game: 45 seconds left");
  list[0]->settings.credit = 75;
  list[0]->warned = false;
  EXPECT_EQ(CreditStripText(list, 20, 0), "Game: 1 hour 15 minutes left");
  EXPECT_EQ(CreditStripText(list, 20, -1),
            "Game: 1 hour 15 minutes left Disk quota exceeded: the session ends in 2 minutes");
  EXPECT_EQ(CreditStripText(list, 20, -2),
            "Game: 1 hour 15 minutes left Disk quota exceeded: the session ends in 10 seconds");
  list[0]->settings.credit = 12345;
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
