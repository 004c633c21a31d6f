#include "WarningText.h"

#include <gtest/gtest.h>

#include "AgentUiTestRecords.h"
#include "Localization.h"

namespace corvane {
namespace {

using test::MakeRecord;
using test::MakeSession;

TEST(WarningTextTest, KindFollowsTheCreditNow) {
  auto app = MakeRecord(10, "org.example.Game", "Game", 12345);
  EXPECT_EQ(CreditWarningKindOf(*app), CreditWarningKind::NoCredit);
  app->settings.Credit = 5;
  EXPECT_EQ(CreditWarningKindOf(*app), CreditWarningKind::FiveMinutes);
  for (int credit : {1, 0, 2, -1}) {
    app->settings.Credit = credit;
    EXPECT_EQ(CreditWarningKindOf(*app), CreditWarningKind::LastMinute) << credit;
  }
}

TEST(WarningTextTest, CreditTextsNameTheApplicationTwiceAndTheSessionAsYourSession) {
  auto app = MakeRecord(10, "org.example.Game", "Game", 1);
  EXPECT_EQ(CreditWarningText(*app, CreditWarningKind::LastMinute).value(),
            "Game: one minute left. Please save your work, Game will be closed in one minute.");
  EXPECT_EQ(CreditWarningText(*app, CreditWarningKind::NoCredit).value(),
            "Game: no time left, so Game will be closed now.");
  auto session = MakeSession(5);
  EXPECT_EQ(CreditWarningText(*session, CreditWarningKind::FiveMinutes).value(),
            "computer: five minutes left. Please save your work, your session will be closed in "
            "five minutes.");
  EXPECT_FALSE(CreditWarningText(*app, static_cast<CreditWarningKind>(7)).has_value());
}

TEST(WarningTextTest, CurfewTextsTakeNameThenTime) {
  auto app = MakeRecord(10, "org.example.Game", "Game", 30);
  EXPECT_EQ(CurfewWarningText(true, *app, "08:00"), "Game: not allowed before 08:00.");
  EXPECT_EQ(CurfewWarningText(false, *app, "23:59"), "Game: the allowed time ended at 23:59.");
  EXPECT_EQ(ClickToContinueText(), "Click to continue");
}

TEST(WarningTextTest, FormatterNeverInterpretsOutsideText) {
  // A display name is the child's to choose; it must come out verbatim.
  auto app = MakeRecord(10, "x", "%s%n%1$s%", 1);
  EXPECT_EQ(CreditWarningText(*app, CreditWarningKind::NoCredit).value(),
            "%s%n%1$s%: no time left, so %s%n%1$s% will be closed now.");
  EXPECT_EQ(FormatLocalized("%2$s/%1$@ %% %s %99$s %", {"a", "b"}), "b/a % a  %");
}

}  // namespace
}  // namespace corvane
