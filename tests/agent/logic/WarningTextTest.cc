// The texts of the warnings: which one the credit asks for, and arguments
// that are put in verbatim, never read as a format.
#include "WarningText.h"

#include <gmock/gmock.h>

#include "AgentFakeWorld.h"
#include "Localization.h"

namespace corvane {
namespace {

TEST(WarningTextTest, KindFollowsTheCreditNow) {
  const std::pair<int32_t, CreditWarningKind> cases[] = {
      {12345, CreditWarningKind::kNoCredit}, {5, CreditWarningKind::kFiveMinutes},
      {1, CreditWarningKind::kLastMinute},   {0, CreditWarningKind::kLastMinute},
      {2, CreditWarningKind::kLastMinute},   {-1, CreditWarningKind::kLastMinute}};
  for (const auto& [credit, kind] : cases) {
    EXPECT_EQ(CreditWarningKindOf(*test::MakeRecord(10, "org.example.Game", "Game", credit)), kind)
        << credit;
  }
}

// The texts themselves are checked where the windows show them; here, what
// no window shows: an unknown kind, and names and arguments that look like
// a format.
TEST(WarningTextTest, PlaceholdersTakeArgumentsVerbatim) {
  auto app = test::MakeRecord(10, "x", "%s%n%1$s%", 1);
  EXPECT_FALSE(CreditWarningText(*app, static_cast<CreditWarningKind>(7)).has_value());
  EXPECT_EQ(CreditWarningText(*app, CreditWarningKind::kNoCredit).value(),
            "%s%n%1$s%: no time left, so %s%n%1$s% will be closed now.");
  const struct {
    const char* format;
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {"%s uses %@", {"a", "b"}, "a uses b"},
      {"%2$@ before %1$s", {"a", "b"}, "b before a"},
      {"100%% %s %s", {"%s%n%1$s"}, "100% %s%n%1$s "},
      {"%d %5$s %", {"x"}, "%d  %"},
      {"%2$s/%1$@ %% %s", {"a", "b"}, "b/a % a"},
  };
  for (const auto& c : cases) EXPECT_EQ(SubstituteArguments(c.format, c.args), c.out) << c.format;
  EXPECT_THAT(FormatLocalized("Disk Space low format", {"150.00 MB", "100.00 MB"}),
              ::testing::HasSubstr("150.00 MB, more than the 100.00 MB"));
}

}  // namespace
}  // namespace corvane
