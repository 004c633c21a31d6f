// The refill, curfew and quota rules on records, in a zone that is not UTC
// so that local and UTC days differ.
#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include "CreditRules.h"

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
  static AppSettings Record(bool carry_over, int32_t credit, AbsoluteTime next = 0) {
    AppSettings s;
    s.ReportCredit = carry_over;
    s.Credit = credit;
    s.AutoUpdateValue = 2;
    s.AutoUpdateCoeff = s.WeCoeff = 60;
    s.WeValue = 3;
    s.NextAutoUpdate = next;
    return s;
  }
  std::vector<std::pair<int32_t, int32_t>> added_;
  void Refill(AppSettings* s, AbsoluteTime now) {
    RefillCredit(s, now, [this](int32_t a, int32_t c) { added_.emplace_back(a, c); });
  }
};

TEST_F(CreditRulesTest, Refill) {
  // Over a weekend, with and without carry-over.
  AbsoluteTime saturday = Local(2026, 12, 5, 0, 0, 1), monday_10 = Local(2026, 12, 7, 10, 0);
  AppSettings reset = Record(false, 10, saturday);
  Refill(&reset, monday_10);
  EXPECT_EQ(reset.Credit, 120);
  EXPECT_EQ(reset.NextAutoUpdate, Local(2026, 12, 8, 0, 0, 1));
  EXPECT_EQ(added_, (std::vector<std::pair<int32_t, int32_t>>{{180, 180}, {180, 180}, {120, 120}}));
  AppSettings carry = Record(true, 10, saturday);
  Refill(&carry, monday_10);
  EXPECT_EQ(carry.Credit, 490);

  // Exactly at the moment is not yet due; strictly later is.
  AppSettings s = Record(false, 7, Local(2026, 12, 7, 0, 0, 1));
  Refill(&s, s.NextAutoUpdate);
  EXPECT_EQ(s.Credit, 7);
  Refill(&s, s.NextAutoUpdate + 0.001);
  EXPECT_EQ(s.Credit, 120);

  // A record never refilled is only scheduled for today's moment.
  added_.clear();
  AppSettings fresh = Record(false, 7);
  Refill(&fresh, Local(2026, 12, 7, 15, 30));
  EXPECT_EQ(fresh.Credit, 7);
  EXPECT_EQ(fresh.NextAutoUpdate, Local(2026, 12, 7, 0, 0, 1));
  EXPECT_TRUE(added_.empty());

  // A missing weekend multiplier (0 as read) adds nothing on a Saturday.
  AppSettings no_we = Record(true, 5, saturday);
  no_we.WeCoeff = 0;
  Refill(&no_we, Local(2026, 12, 5, 9, 0));
  EXPECT_EQ(no_we.Credit, 5);

  // The fixed 86,400-second step moves the local hour across a DST change.
  AppSettings dst = Record(false, 0, Local(2027, 3, 27, 0, 0, 1));
  Refill(&dst, Local(2027, 3, 28, 0, 30));
  EXPECT_EQ(dst.NextAutoUpdate, Local(2027, 3, 29, 1, 0, 1));

  // Damaged moments end instead of looping.
  AppSettings damaged = Record(true, 0, -std::numeric_limits<double>::infinity());
  Refill(&damaged, monday_10);
  EXPECT_EQ(damaged.Credit, 0);
  damaged.NextAutoUpdate = -1e300;
  Refill(&damaged, monday_10);
  EXPECT_GT(damaged.NextAutoUpdate, Local(2026, 12, 7, 0, 0));
}

TEST_F(CreditRulesTest, CurfewAndQuotaBounds) {
  AppSettings s;
  s.WdCurfewEnabled = true;
  s.WdStart = 480;
  s.WdStop = 1200;
  auto at = [&](int h, int m) { return CheckCurfew(s, Local(2026, 12, 7, h, m, 59)); };
  EXPECT_TRUE(at(7, 59).too_early);
  EXPECT_FALSE(at(8, 0).too_early);
  EXPECT_FALSE(at(19, 59).too_late);
  EXPECT_TRUE(at(20, 0).too_late);
  EXPECT_EQ(at(20, 0).stop, 1200);
  // Saturday uses the weekend window, which is off.
  EXPECT_FALSE(CheckCurfew(s, Local(2026, 12, 5, 23, 0)).too_late);
  s.WdStart = 1300;  // start >= stop: both at once
  auto both = at(21, 0);
  EXPECT_TRUE(both.too_early && both.too_late);
  s.WdCurfewEnabled = false;
  EXPECT_FALSE(at(7, 0).too_early);

  AppSettings g;
  g.DqEnabled = true;
  g.DqValue = 1;
  EXPECT_FALSE(CheckQuota(g, 1048576).over);
  EXPECT_TRUE(CheckQuota(g, 1048577).over);
  EXPECT_EQ(CheckQuota(g, 5).allowed_bytes, 1048576);
  g.DqValue = -1;
  EXPECT_TRUE(CheckQuota(g, 0).over);
  g.DqEnabled = false;
  EXPECT_FALSE(CheckQuota(g, 1LL << 40).over);
}

}  // namespace
}  // namespace corvane
