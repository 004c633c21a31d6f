// The blocking message on a real X display with a window manager: input
// sent with XTEST while it is up reaches no other application, a click ends
// it, nested messages hand the input back, the tick timer stands still.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "AgentState.h"
#include "BlockingMessage.h"
#include "AgentUiWindowTestSupport.h"
#include "ClientTestSupport.h"
#include "QtAgentUserInterface.h"
#include "TickTimer.h"

namespace corvane {
namespace {

using test::Pump;
using test::WaitUntil;

bool Shell(const std::string& command) { return test::RunProgram({"sh", "-c", command}).status == 0; }

class BlockingMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DISPLAY();
    if (!Shell("command -v xdotool && command -v xterm")) GTEST_SKIP() << "xdotool or xterm missing";
  }
  void TearDown() override { SetBlockingMessageObserverForTesting(nullptr); }
};

TEST_F(BlockingMessageTest, KeyboardAndPointerAreHeldUntilTheClick) {
  std::string typed = "/tmp/c5-typed-" + std::to_string(getpid()) + ".txt";
  test::Child term({"xterm", "-class", "C5GrabTerm", "-geometry", "60x10+40+40", "-e", "sh",
                    "-c", "cat >'" + typed + "'"});
  if (!Shell("for i in $(seq 50); do xdotool search --class C5GrabTerm && "
           "xprop -root _NET_ACTIVE_WINDOW | grep -qi \"$(printf '%x' $(xdotool search --class "
           "C5GrabTerm | head -1))\" && exit 0; sleep 0.1; done; exit 1")) {
    GTEST_SKIP() << "the terminal did not become the active window";
  }
  int ticks = 0;
  QElapsedTimer since_close;
  qint64 first_tick_after_close = -1;
  TickTimer tick([&] {
    ++ticks;
    if (since_close.isValid() && first_tick_after_close < 0)
      first_tick_after_close = since_close.elapsed();
  });
  tick.Start(0.3);
  int ticks_before = -1;
  bool held = false;
  SetBlockingMessageObserverForTesting([&](BlockingMessageWindow* window) {
    ticks_before = ticks;
    held = WaitUntil([&] { return window->HoldsInput(); }, 5000);
    Pump(1500);  // painted, and a tick would have come
    test::SaveScreenshot("lock-screen");
    Shell("xdotool type --delay 20 'grabbed'; xdotool key Return");
    Pump(300);
    EXPECT_EQ(ticks, ticks_before);
    Shell("xdotool mousemove 100 100 click 1");  // over the terminal, were it reachable
  });
  LockComputer(&tick);
  since_close.start();
  EXPECT_TRUE(held);
  WaitUntil([&] { return first_tick_after_close >= 0; }, 3000);
  EXPECT_NEAR(first_tick_after_close, 1000, 250);
  Shell("xdotool type --delay 20 'free'; xdotool key Return");
  WaitUntil([&] { return test::ReadFileOrEmpty(typed).find("free") != std::string::npos; },
               5000);
  // The keys typed after the message went reach the terminal; those typed
  // while it was up never do.
  EXPECT_EQ(test::ReadFileOrEmpty(typed), "free\n");
  unlink(typed.c_str());
}

TEST_F(BlockingMessageTest, TimersOnlyWhenAskedAndNestedMessagesHandBackTheInput) {
  AgentState state;
  state.autoHideAlerts = true;
  state.playAlertsSound = true;
  QtAgentUserInterface ui(state, nullptr);
  int shown = 0;
  BlockingMessageWindow* outer = nullptr;
  SetBlockingMessageObserverForTesting([&](BlockingMessageWindow* window) {
    ++shown;
    if (shown == 1) {  // the lock screen: never by itself, never a beep
      EXPECT_FALSE(window->HasAutoHideTimer() || window->HasBeepTimer());
    } else if (shown == 2) {  // a warning that asks for its timers
      EXPECT_TRUE(window->HasAutoHideTimer() && window->HasBeepTimer());
      EXPECT_EQ(window->message().toStdString(),
                "The Corvane server cannot be reached. Trying again in two minutes.");
      outer = window;
      // The first beep comes after 3 s, not before.
      EXPECT_FALSE(WaitUntil([&] { return window->beeps() > 0; }, 2800));
      EXPECT_TRUE(WaitUntil([&] { return window->beeps() == 1; }, 700));
      EXPECT_TRUE(window->HoldsInput());
      test::SaveScreenshot("blocking-message");
      // A retry firing while the message is up opens a second one on top,
      // which ends first and hands the input back.
      QTimer::singleShot(0, [&] {
        ui.ShowBlockingMessage("Disk is over quota", false);
        EXPECT_TRUE(WaitUntil([&] { return outer->HoldsInput(); }, 2000));
        Shell("xdotool click 1");
      });
      return;
    } else if (shown == 3) {
      EXPECT_FALSE(window->HasAutoHideTimer());
      EXPECT_TRUE(WaitUntil([&] { return window->HoldsInput(); }, 5000));
      EXPECT_FALSE(outer->HoldsInput());
    }
    Pump(300);
    Shell("xdotool click 1");
  });
  ui.LockComputer();
  ui.ShowBlockingMessage("Cannot contact remote server", true);
  EXPECT_EQ(shown, 3);
}

}  // namespace
}  // namespace corvane
