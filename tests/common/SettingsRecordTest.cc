// The settings record in its two forms, the packed bytes of a request and
// the keys of a plist, with the frames and text fields that carry it, and
// the day keys of the statistics.
#include <cmath>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "AbsoluteTime.h"
#include "AppSettings.h"
#include "PlistXml.h"
#include "WireCodec.h"

namespace corvane {
namespace {

AppSettings SampleSettings() {
  // next_auto_update packs as 0x2EE25801, its fraction dropped.
  return {.next_auto_update = 786585601.75, .credit = 45, .report_credit = true, .enabled = true,
          .auto_update_coeff = 60, .auto_update_value = 2, .we_coeff = -1, .we_value = -3,
          .wd_curfew_enabled = true, .we_curfew_enabled = false, .wd_start = 480, .wd_stop = 1200,
          .we_start = 540, .we_stop = 1320, .dq_enabled = true, .dq_value = 500};
}

TEST(WireCodecTest, PackedRecordIsByteExactAndBounded) {
  Bytes rec;
  AppendPackedSettings(SampleSettings(), &rec);
  const Bytes expected = {
      0x01, 0x58, 0xE2, 0x2E,  // NextAutoUpdate low 32 bits
      0x02, 0x00, 0x00, 0x00,  // AutoUpdateValue
      0x2D, 0x00, 0x00, 0x00,  // Credit
      0x3C,                    // AutoUpdateCoeff
      0x01,                    // WdCurfewEnabled
      0x00,                    // WeCurfewEnabled
      0xE0, 0x01, 0x00, 0x00,  // WdStart 480
      0xB0, 0x04, 0x00, 0x00,  // WdStop 1200
      0x1C, 0x02, 0x00, 0x00,  // WeStart 540
      0x28, 0x05, 0x00, 0x00,  // WeStop 1320
      0x01,                    // Enabled
      0x01,                    // ReportCredit
      0xFF,                    // WeCoeff -1
      0xFD, 0xFF, 0xFF, 0xFF,  // WeValue -3
      0x01,                    // DqEnabled
      0xF4, 0x01, 0x00, 0x00,  // DqValue 500
  };
  ASSERT_EQ(rec.size(), kPackedSettingsSize);
  EXPECT_EQ(rec, expected);

  AppSettings back;
  ASSERT_TRUE(UnpackAppSettings(rec, 0, &back));
  AppSettings want = SampleSettings();
  want.next_auto_update = 786585601.0;
  EXPECT_EQ(back, want);

  // Times past 2^32 seconds keep only the low word; negative ones wrap.
  for (auto [time, low_word] : {std::pair{4294967296.0 + 5, 5u}, {-1.9, 0xFFFFFFFFu}}) {
    AppSettings big;
    big.next_auto_update = time;
    rec.clear();
    AppendPackedSettings(big, &rec);
    EXPECT_EQ(LoadLittleEndian32(rec.data()), low_word) << time;
  }
  ASSERT_TRUE(UnpackAppSettings(rec, 0, &back));  // the -1.9 record
  EXPECT_EQ(back.next_auto_update, 4294967295.0);

  // Unpacking never reads past the buffer.
  Bytes payload = PackAppSettings("u", "a", SampleSettings());
  ASSERT_EQ(payload.size(), 5u + 5u + 43u);
  AppSettings out;
  EXPECT_TRUE(UnpackAppSettings(payload, 10, &out));
  EXPECT_FALSE(UnpackAppSettings(payload, SIZE_MAX, &out));
}

TEST(WireCodecTest, GetCreditRequestIsByteExact) {
  Bytes payload;
  EXPECT_EQ(AppendStringField(&payload, "u"), 0u);
  EXPECT_EQ(AppendStringField(&payload, "a"), 5u);
  Bytes frame = BuildRequest(kGetCredit, payload);
  const Bytes expected = {0x00, 0x00, 0x00, 0x13, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01,
                          0x00, 0x00, 0x00, 'u',  0x01, 0x00, 0x00, 0x00, 'a'};
  EXPECT_EQ(frame, expected);
  EXPECT_EQ(BuildRequest(kAutoUpdateCredit, {}), (Bytes{0, 0, 0, 9, 3, 0, 0, 0, 0}));

  // A reply counts only its body.
  EXPECT_EQ(BuildReply("abc"), (Bytes{0, 0, 0, 3, 'a', 'b', 'c'}));
}

TEST(WireCodecTest, StringFields) {
  Bytes msg = BuildRequest(kGetCredit, {});
  AppendStringField(&msg, "");
  AppendStringField(&msg, "Zoë");
  size_t next = 0;
  auto empty = ReadStringField(msg, 9, &next);
  ASSERT_TRUE(empty.has_value());  // count 0 is the empty text, not absent
  EXPECT_EQ(*empty, "");
  EXPECT_EQ(next, 13u);
  EXPECT_EQ(ReadStringField(msg, next, &next), "Zoë");
  EXPECT_EQ(next, msg.size());
  EXPECT_FALSE(ReadStringField(msg, next, &next).has_value());

  // A count running past the end is absent, yet the offset still advances.
  Bytes truncated = {0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 'x'};
  EXPECT_FALSE(ReadStringField(truncated, 9, &next).has_value());
  EXPECT_EQ(next, 23u);
  Bytes huge = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(ReadStringField(huge, 9, &next).has_value());
  EXPECT_EQ(next, size_t{9} + 4 + 0xFFFFFFFFu);
  EXPECT_FALSE(ReadStringField(huge, 11, &next).has_value());

  // Bytes that are not UTF-8, or that no XML plist can hold, are absent but
  // skipped all the same.
  for (std::string bad : {std::string("\xC3\x28"), std::string("a\0b", 3), std::string("\x01"),
                          std::string("\xED\xA0\x80"), std::string("\xEF\xBF\xBF")}) {
    Bytes m;
    m.resize(4);
    StoreLittleEndian32(static_cast<uint32_t>(bad.size()), m.data());
    m.insert(m.end(), bad.begin(), bad.end());
    EXPECT_FALSE(ReadStringField(m, 0, &next).has_value());
    EXPECT_EQ(next, m.size());
    Bytes out;
    EXPECT_EQ(AppendStringField(&out, bad), 0u);
    EXPECT_TRUE(out.empty());
  }
}

// Requests split, batched and bare (the 9-byte header) are shown on the
// wire by ServerProtocolTest; here are the exact length bounds, and replies.
TEST(WireCodecTest, FramePeeking) {
  Bytes reply = BuildReply("");
  EXPECT_EQ(PeekReplyFrame(reply).state, FrameState::kComplete);
  EXPECT_EQ(PeekReplyFrame(reply).length, 0u);
  reply = BuildReply("xyz");
  EXPECT_EQ(PeekReplyFrame(std::span(reply).first(6)).state, FrameState::kIncomplete);
  // Past the reply bound a length is bad for either frame.
  for (uint32_t bad : {0u, 1u, 8u, kMaxRequestLength + 1, kMaxReplyBodyLength + 1, 0xFFFFFFFFu}) {
    Bytes b(4);
    StoreBigEndian32(bad, b.data());
    EXPECT_EQ(PeekRequestFrame(b).state, FrameState::kBadLength) << bad;
    if (bad > kMaxReplyBodyLength) {
      EXPECT_EQ(PeekReplyFrame(b).state, FrameState::kBadLength) << bad;
    }
  }
}

Plist Dict(const std::string& body) {
  auto p = ParsePlistXml("<dict>" + body + "</dict>");
  EXPECT_TRUE(p);
  return p ? *p : Plist();
}

TEST(AppSettingsTest, ReadAppliesDefaultsAndWidths) {
  AppSettings s;
  s.credit = 99;
  const Plist array = Plist::Array();
  for (const Plist* no_record : {static_cast<const Plist*>(nullptr), &array}) {
    ReadAppSettings(no_record, &s);  // nothing filled
    EXPECT_EQ(s.credit, 99);
  }

  Plist empty = Plist::Dictionary();
  ReadAppSettings(&empty, &s);
  EXPECT_EQ(s, (AppSettings{.auto_update_coeff = 1, .wd_stop = 1439, .we_stop = 1439}));

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
  PlistDictionary settings;
  StoreAppSettings(&settings, "u", "a", SampleSettings());
  std::string xml;
  ASSERT_TRUE(SerializePlistXml(Plist::Dictionary(std::move(settings)), &xml));
  std::string want = std::string(PlistXmlHeader()) +
                     "<dict>\n\t<key>u</key>\n\t<dict>\n\t\t<key>a</key>\n\t\t<dict>\n";
  for (auto [key, value] : {std::pair{"NextAutoUpdate", "<real>786585601.75</real>"},
                            {"Credit", "<integer>45</integer>"},
                            {"Report Credit", "<true/>"},
                            {"Enabled", "<true/>"},
                            {"AutoUpdateCoeff", "<integer>60</integer>"},
                            {"AutoUpdateValue", "<integer>2</integer>"},
                            {"WE Coeff", "<integer>-1</integer>"},
                            {"WE Value", "<integer>-3</integer>"},
                            {"WD Curfew Enabled", "<true/>"},
                            {"WE Curfew Enabled", "<false/>"},
                            {"WD start", "<integer>480</integer>"},
                            {"WD stop", "<integer>1200</integer>"},
                            {"WE start", "<integer>540</integer>"},
                            {"WE stop", "<integer>1320</integer>"},
                            {"DQ Enabled", "<true/>"},
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
  // Which days are the weekend is CreditRulesTest's refill calendar.
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace corvane
