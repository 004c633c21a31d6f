#include <gtest/gtest.h>

#include "Localization.h"
#include "TextFormat.h"

namespace corvane {
namespace {

TEST(TextFormatTest, Durations) {
  const std::pair<int, const char*> minutes[] = {
      {0, "0 minute"},           {1, "1 minute"},          {59, "59 minutes"},
      {60, "1 hour 0 minute"},   {61, "1 hour 1 minute"},  {119, "1 hour 59 minutes"},
      {120, "2 hours 0 minute"}, {125, "2 hours 5 minutes"}, {1439, "23 hours 59 minutes"},
      {-5, "-5 minute"},         {-65, "-5 minute"},
  };
  for (auto [n, text] : minutes) EXPECT_EQ(FormatDuration(n, 1), text) << n;
  EXPECT_EQ(FormatDuration(45, 2), "45 seconds");
  EXPECT_EQ(FormatDuration(61, 2), "1 second");
  EXPECT_EQ(FormatDuration(60, 2), "0 second");
  EXPECT_EQ(FormatDuration(INT32_MIN, 1), "-8 minute");
  EXPECT_FALSE(FormatDuration(5, 3));
  EXPECT_FALSE(FormatDuration(5, 0));
}

TEST(TextFormatTest, ByteSizes) {
  const std::pair<uint64_t, const char*> sizes[] = {
      {0, "0 B"},           {512, "512 B"},         {1023, "1023 B"},
      {1024, "1 KB"},       {65534, "63 KB"},       {65535, "--"},
      {65536, "64 KB"},     {1048575, "1023 KB"},   {1048576, "1.00 MB"},
      {1572864, "1.50 MB"}, {1073741823, "1024.00 MB"}, {1073741824, "1.00 GB"},
      {4294967295ull, "--"}, {4294967296ull, "4.00 GB"}, {UINT64_MAX, "17179869184.00 GB"},
  };
  for (auto [b, text] : sizes) EXPECT_EQ(FormatByteSize(b), text) << b;
}

TEST(TextFormatTest, CatalogueIsFoundBesideTheProgram) {
  // The English catalogue maps the unit words to themselves; a key it does
  // not know comes back unchanged.
  EXPECT_EQ(LocalizedString("minute"), "minute");
  EXPECT_EQ(LocalizedString("No such key"), "No such key");
}

}  // namespace
}  // namespace corvane
