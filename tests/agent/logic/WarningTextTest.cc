#include "WarningText.h"

#include <gtest/gtest.h>

#include "AgentUiTestRecords.h"

namespace corvane {
namespace {

using test::MakeRecord;

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

// The texts themselves are checked where the windows show them; here, what
// no window shows: an unknown kind, and a name that looks like a format.
TEST(WarningTextTest, UnknownKindHasNoTextAndNamesAreNeverInterpreted) {
  auto app = MakeRecord(10, "x", "%s%n%1$s%", 1);
  EXPECT_FALSE(CreditWarningText(*app, static_cast<CreditWarningKind>(7)).has_value());
  EXPECT_EQ(CreditWarningText(*app, CreditWarningKind::NoCredit).value(),
            "%s%n%1$s%: no time left, so %s%n%1$s% will be closed now.");
}

}  // namespace
}  // namespace corvane
