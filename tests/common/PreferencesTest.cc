#include <gtest/gtest.h>

#include "Paths.h"
#include "PlistFile.h"
#include "Preferences.h"
#include "TestSupport.h"

namespace corvane {
namespace {

TEST(PreferencesTest, SetSynchronizeAndReadBack) {
  test::TempRoot root;
  EXPECT_FALSE(CopyPreference("Use custom port"));
  EXPECT_TRUE(PreferenceFlag("Last Minute Credit", true));
  SetPreference("Use custom port", Plist::String("1"));
  SetPreference("Custom port", Plist::String(" 5123xyz"));
  ASSERT_TRUE(SynchronizePreferences());
  // The file is read afresh: a change made by another program is seen.
  auto file = ReadPlistFile(SystemPath(kHostPreferenceFile));
  ASSERT_TRUE(file && file->IsDictionary());
  EXPECT_EQ(file->AsDictionary()->size(), 2u);
  EXPECT_TRUE(PreferenceFlag("Use custom port", false));
  EXPECT_EQ(PreferenceInteger("Custom port"), 5123);
  ASSERT_TRUE(SetPlistFileKey(SystemPath(kHostPreferenceFile), "Use custom port",
                              Plist::String("0")).ok());
  EXPECT_FALSE(PreferenceFlag("Use custom port", true));
  EXPECT_FALSE(PreferenceFlag("Play Alerts Sound", false));

  SetPreference("Custom port", std::nullopt);
  ASSERT_TRUE(SynchronizePreferences());
  EXPECT_FALSE(PreferenceInteger("Custom port"));
  EXPECT_EQ(StringIntValue("  -12abc"), -12);
  EXPECT_EQ(StringIntValue("abc"), 0);
  EXPECT_EQ(StringIntValue("99999999999"), INT32_MAX);
  EXPECT_EQ(StringIntValue("-99999999999"), INT32_MIN);
}

}  // namespace
}  // namespace corvane
