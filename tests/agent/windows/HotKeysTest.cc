// Control+Alt+C and Control+Alt+H sent through the X server with xdotool.
#include "HotKeys.h"

#include <gtest/gtest.h>

#include "AgentUiWindowTestSupport.h"

namespace corvane {
namespace {

TEST(HotKeysTest, GrabbedKeysReachTheAgentWhateverTheLockKeys) {
  SKIP_WITHOUT_DISPLAY();
  if (test::Xdotool("version") != 0) GTEST_SKIP() << "xdotool not installed";
  int strip = 0, status = 0;
  HotKeys keys([&] { ++strip; }, [&] { ++status; });
  const int started = keys.Start();
  if (started == -2) GTEST_SKIP() << "another client on this display holds the hot keys";
  ASSERT_EQ(started, 0);

  test::Xdotool("key ctrl+alt+c");
  EXPECT_TRUE(test::WaitUntil([&] { return strip == 1; }, 10000));
  test::Xdotool("key ctrl+alt+h");
  EXPECT_TRUE(test::WaitUntil([&] { return status == 1; }, 10000));
  // Num Lock and Caps Lock on must not disarm them.
  test::Xdotool("key Num_Lock key Caps_Lock key ctrl+alt+c key ctrl+alt+h key Num_Lock key Caps_Lock");
  EXPECT_TRUE(test::WaitUntil([&] { return strip == 2 && status == 2; }, 10000));
  // Other keys do nothing: the X server delivers in order, so once the
  // Control+Alt+C sent after them has come, they have come too.
  test::Xdotool("key ctrl+alt+x key ctrl+c key alt+h key ctrl+alt+c");
  EXPECT_TRUE(test::WaitUntil([&] { return strip == 3; }, 10000));
  EXPECT_EQ(strip, 3);
  EXPECT_EQ(status, 2);

  // A second grabber of the same keys is refused, and says so.
  HotKeys other(nullptr, nullptr);
  EXPECT_EQ(other.Start(), -2);
}

}  // namespace
}  // namespace corvane
