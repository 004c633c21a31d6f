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
  AppSettings s{.next_auto_update = 12.5, .credit = 30, .enabled = true, .auto_update_coeff = 60,
                .we_coeff = -2};
  StoreAppSettings(&settings, "bob", "com.apple.loginwindow", s);
  Plist* app = FindAppSettings(settings, "bob", kComputerAppKey);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->AsDictionary()->Find("AutoUpdateCoeff")->AsInteger()->width, 8);
  EXPECT_EQ(app->AsDictionary()->Find("Credit")->AsInteger()->width, 32);

  app->AsDictionary()->Set("Custom", Plist::String("kept"));
  s.credit = 29;
  StoreAppSettings(&settings, "bob", kComputerAppKey, s);
  EXPECT_EQ(*app->AsDictionary()->Find("Custom")->AsString(), "kept");
  AppSettings back;
  ReadAppSettings(app, &back);
  EXPECT_EQ(back, s);
}

// The bytes of a newly stored record: the key order and value forms that
// the settings file of every other release holds too.
TEST(AppSettingsTest, StoredRecordIsByteExact) {
  AppSettings s{.next_auto_update = 786585601.5, .credit = -45, .report_credit = true,
                .auto_update_coeff = 60, .auto_update_value = 2, .we_coeff = -1, .we_value = 3,
                .wd_curfew_enabled = true, .wd_start = 480, .wd_stop = 1200, .we_start = 540,
                .we_stop = 1320, .dq_value = 500};
  PlistDictionary settings;
  StoreAppSettings(&settings, "u", "a", s);
  std::string xml;
  ASSERT_TRUE(SerializePlistXml(Plist::Dictionary(std::move(settings)), &xml));
  std::string want = std::string(PlistXmlHeader()) +
                     "<dict>\n\t<key>u</key>\n\t<dict>\n\t\t<key>a</key>\n\t\t<dict>\n";
  for (auto [key, value] : {std::pair{"NextAutoUpdate", "<real>786585601.5</real>"},
                            {"Credit", "<integer>-45</integer>"},
                            {"Report Credit", "<true/>"},
                            {"Enabled", "<false/>"},
                            {"AutoUpdateCoeff", "<integer>60</integer>"},
                            {"AutoUpdateValue", "<integer>2</integer>"},
                            {"WE Coeff", "<integer>-1</integer>"},
                            {"WE Value", "<integer>3</integer>"},
                            {"WD Curfew Enabled", "<true/>"},
                            {"WE Curfew Enabled", "<false/>"},
                            {"WD start", "<integer>480</integer>"},
                            {"WD stop", "<integer>1200</integer>"},
                            {"WE start", "<integer>540</integer>"},
                            {"WE stop", "<integer>1320</integer>"},
                            {"DQ Enabled", "<false/>"},
                            {"DQ Value", "<integer>500</integer>"}}) {
    want += std::string("\t\t\t<key>") + key + "</key>\n\t\t\t" + value + "\n";
  }
  want += "\t\t</dict>\n\t</dict>\n</dict>\n" + std::string(PlistXmlFooter());
  EXPECT_EQ(xml, want);
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
