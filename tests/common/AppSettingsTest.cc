#include <cmath>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "AbsoluteTime.h"
#include "AppSettings.h"
#include "PlistXml.h"

namespace corvane {
namespace {

Plist Dict(const std::string& body) {
  auto p = ParsePlistXml("<dict>" + body + "</dict>");
  EXPECT_TRUE(p);
  return p ? *p : Plist();
}

TEST(AppSettingsTest, ReadAppliesDefaultsAndWidths) {
  AppSettings s;
  s.credit = 99;
  ReadAppSettings(nullptr, &s);  // nothing filled
  EXPECT_EQ(s.credit, 99);
  Plist array = Plist::Array();
  ReadAppSettings(&array, &s);
  EXPECT_EQ(s.credit, 99);

  Plist empty = Plist::Dictionary();
  ReadAppSettings(&empty, &s);
  AppSettings want;
  want.auto_update_coeff = 1;
  want.wd_stop = 1439;
  want.we_stop = 1439;
  EXPECT_EQ(s, want);

  for (auto [stored, read] : {std::pair{59, 1}, {61, 1}, {60, 60}, {316, 60}, {0, 1}}) {
    Plist d = Dict("<key>AutoUpdateCoeff</key><integer>" + std::to_string(stored) + "</integer>" +
                   "<key>WE Coeff</key><integer>7</integer>");
    ReadAppSettings(&d, &s);
    EXPECT_EQ(s.auto_update_coeff, read) << stored;  // 316 is 60 in 8 bits
    EXPECT_EQ(s.we_coeff, 7);
  }

  Plist typed = Dict(
      "<key>Credit</key><integer>4294967341</integer>"    // 45 in 32 bits
      "<key>Enabled</key><integer>1</integer>"            // not a boolean: false
      "<key>Report Credit</key><true/>"
      "<key>NextAutoUpdate</key><integer>12</integer>"
      "<key>WD stop</key><string>600</string>"            // wrong type: 0
      "<key>DQ Value</key><real>500.9</real>");
  ReadAppSettings(&typed, &s);
  EXPECT_EQ(s.credit, 45);
  EXPECT_FALSE(s.enabled);
  EXPECT_TRUE(s.report_credit);
  EXPECT_EQ(s.next_auto_update, 12.0);
  EXPECT_EQ(s.wd_stop, 0);
  EXPECT_EQ(s.we_stop, 1439);
  EXPECT_EQ(s.dq_value, 500);
}

TEST(AppSettingsTest, StoreCreatesLevelsAndKeepsForeignKeys) {
  StoreAppSettings(nullptr, "u", "a", AppSettings());  // no settings loaded: no-op

  PlistDictionary settings;
  settings.Set("bob", Plist::String("not a dictionary"));
  AppSettings s;
  s.credit = 30;
  s.auto_update_coeff = 60;
  s.we_coeff = -2;
  s.enabled = true;
  s.next_auto_update = 12.5;
  StoreAppSettings(&settings, "bob", "com.apple.loginwindow", s);
  Plist* app = FindAppSettings(settings, "bob", kComputerAppKey);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->AsDictionary()->size(), 16u);
  EXPECT_EQ(app->AsDictionary()->Find("AutoUpdateCoeff")->AsInteger()->width, 8);
  EXPECT_EQ(app->AsDictionary()->Find("Credit")->AsInteger()->width, 32);
  EXPECT_EQ(*app->AsDictionary()->Find("NextAutoUpdate")->AsReal(), 12.5);

  app->AsDictionary()->Set("Custom", Plist::String("kept"));
  s.credit = 29;
  StoreAppSettings(&settings, "bob", kComputerAppKey, s);
  EXPECT_EQ(*app->AsDictionary()->Find("Custom")->AsString(), "kept");
  AppSettings back;
  ReadAppSettings(app, &back);
  EXPECT_EQ(back, s);
}

TEST(AppSettingsTest, DayKeyHasNoLeadingZeros) {
  setenv("TZ", "Europe/Paris", 1);
  tzset();
  auto t = AbsoluteTimeOfLocal(2027, 1, 1, 0, 0, 0);
  ASSERT_TRUE(t);
  EXPECT_EQ(DayKey(*t), "1-1-2027");
  EXPECT_EQ(DayKey(*t - 1), "31-12-2026");
  EXPECT_EQ(DayKey(*AbsoluteTimeOfLocal(2026, 12, 5, 23, 59, 59)), "5-12-2026");
  EXPECT_EQ(DayKey(1e300), "01-01-1904");
  EXPECT_EQ(DayKey(NAN), "01-01-1904");
  EXPECT_TRUE(IsWeekend(*AbsoluteTimeOfLocal(2026, 12, 5, 12, 0, 0)));   // Saturday
  EXPECT_TRUE(IsWeekend(*AbsoluteTimeOfLocal(2026, 12, 6, 23, 59, 0)));  // Sunday
  EXPECT_FALSE(IsWeekend(*AbsoluteTimeOfLocal(2026, 12, 7, 0, 0, 0)));   // Monday
  EXPECT_EQ(LocalDateOf(*AbsoluteTimeOfLocal(2026, 12, 7, 0, 0, 1))->day_of_week, 1);
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace corvane
