// The refill calendar, curfew and quota rules on records, in a zone that is
// not UTC so that local and UTC days differ.
#include <stdlib.h>
#include <time.h>

#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "CreditRules.h"
#include "ServerHarness.h"

namespace corvane {
namespace {

class CreditRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  static AbsoluteTime Local(int y, int mo, int d, int h, int mi, double s = 0) {
    return *AbsoluteTimeOfLocal(y, mo, d, h, mi, s);
  }
  // Weekday 2 hours, weekend 3 hours; refill due at `next`.
  static AppSettings Record(bool carry_over, int32_t credit, AbsoluteTime next) {
    AppSettings s = test::SampleRecord(credit, false);
    s.report_credit = carry_over;
    s.next_auto_update = next;
    return s;
  }
};

// The refill calendar: each row is a record (weekday 2 hours, weekend 3),
// the moment it is refilled at, and what must come of it.
TEST_F(CreditRulesTest, RefillCalendar) {
  using Added = std::vector<std::pair<int32_t, int32_t>>;
  const AbsoluteTime saturday = Local(2026, 12, 5, 0, 0, 1), monday = Local(2026, 12, 7, 0, 0, 1),
                     monday_10 = Local(2026, 12, 7, 10, 0), tuesday = Local(2026, 12, 8, 0, 0, 1);
  const double kInfinity = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    bool carry_over;
    int32_t credit;
    AbsoluteTime next, now;
    int32_t want_credit;
    AbsoluteTime want_next;  // 0: not looked at
    std::optional<Added> want_added;
    int8_t we_coeff = 60;
  };
  const Case cases[] = {
      {"Monday catches up the weekend", false, 10, saturday, monday_10, 120, tuesday,
       Added{{180, 180}, {180, 180}, {120, 120}}},
      {"carried over across the weekend", true, 10, saturday, monday_10, 490, tuesday,
       Added{{180, 190}, {180, 370}, {120, 490}}},
      {"refilled already today: nothing more", false, 120, tuesday, monday_10, 120, tuesday,
       Added{}},
      {"exactly at the moment is not yet due", false, 7, monday, monday, 7, monday, Added{}},
      {"strictly later is", false, 7, monday, monday + 0.001, 120, tuesday, Added{{120, 120}}},
      {"never refilled: only scheduled for today", false, 7, 0, Local(2026, 12, 7, 15, 30), 7,
       monday, Added{}},
      {"no weekend multiplier adds nothing", true, 5, saturday, Local(2026, 12, 5, 9, 0), 5, 0,
       std::nullopt, 0},
      // The fixed 86,400-second step moves the local hour across a DST change.
      {"across the spring DST change", false, 0, Local(2027, 3, 27, 0, 0, 1),
       Local(2027, 3, 28, 0, 30), 180, Local(2027, 3, 29, 1, 0, 1), std::nullopt},
      {"an infinite moment ends instead of looping", true, 0, -kInfinity, monday_10, 0, 0,
       Added{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Added added;
    AppSettings s = Record(c.carry_over, c.credit, c.next);
    s.we_coeff = c.we_coeff;
    RefillCredit(&s, c.now, [&](int32_t a, int32_t credit) { added.emplace_back(a, credit); });
    EXPECT_EQ(s.credit, c.want_credit);
    if (c.want_next != 0) {
      EXPECT_EQ(s.next_auto_update, c.want_next);
    }
    if (c.want_added) {
      EXPECT_EQ(added, *c.want_added);
    }
  }
  // A moment far in the past is caught up in bounded rounds, to today.
  AppSettings damaged = Record(true, 0, -1e300);
  RefillCredit(&damaged, monday_10, [](int32_t, int32_t) {});
  EXPECT_GT(damaged.next_auto_update, Local(2026, 12, 7, 0, 0));
}

TEST_F(CreditRulesTest, CurfewAndQuotaBounds) {
  AppSettings s;
  s.wd_curfew_enabled = true;
  s.wd_start = 480;
  s.wd_stop = 1200;
  auto at = [&](int h, int m) { return CheckCurfew(s, Local(2026, 12, 7, h, m, 59)); };
  EXPECT_TRUE(at(7, 59).too_early);
  EXPECT_FALSE(at(8, 0).too_early);
  EXPECT_FALSE(at(19, 59).too_late);
  EXPECT_TRUE(at(20, 0).too_late);
  EXPECT_EQ(at(20, 0).stop, 1200);
  // Saturday uses the weekend window, which is off.
  EXPECT_FALSE(CheckCurfew(s, Local(2026, 12, 5, 23, 0)).too_late);
  s.wd_start = 1300;  // start >= stop: both at once
  auto both = at(21, 0);
  EXPECT_TRUE(both.too_early && both.too_late);
  s.wd_curfew_enabled = false;
  EXPECT_FALSE(at(7, 0).too_early);

  AppSettings g;
  g.dq_enabled = true;
  g.dq_value = 1;
  EXPECT_FALSE(CheckQuota(g, 1048576).over);
  EXPECT_TRUE(CheckQuota(g, 1048577).over);
  EXPECT_EQ(CheckQuota(g, 5).allowed_bytes, 1048576);
  g.dq_value = -1;
  EXPECT_TRUE(CheckQuota(g, 0).over);
  g.dq_enabled = false;
  EXPECT_FALSE(CheckQuota(g, 1LL << 40).over);
}

}  // namespace
}  // namespace corvane
