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
#include <thread>

#include <gtest/gtest.h>

#include "AgentState.h"
#include "BlockingMessage.h"
#include "AgentUiWindowTestSupport.h"
#include "ClientTestSupport.h"
#include "CreditWarningWindow.h"
#include "Platform/X11/CoverWindow.h"
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

// A loop blocked on the network must not slow the countdown: the passes it
// missed are run late. Time under a message is not counted.
TEST_F(BlockingMessageTest, PassesABlockedLoopMissedAreRunLateButNotThoseUnderAMessage) {
  int ticks = 0;
  TickTimer tick([&] {
    if (++ticks == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  });
  tick.Start(0.1);
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 1; }, 2000));
  Pump(500);
  EXPECT_GE(ticks, 3);
  EXPECT_LE(ticks, 4);
  int before = ticks;
  SetBlockingMessageObserverForTesting([](BlockingMessageWindow* window) {
    Pump(2500);
    QTimer::singleShot(0, window, [window] { window->End(); });
  });
  LockComputer(&tick);
  Pump(1300);
  EXPECT_EQ(ticks - before, 1);
}

// What a child can do to a cover from a script, each undone within a
// second, and keys typed meanwhile never reach the terminal behind.
TEST_F(BlockingMessageTest, CoversComeBackAfterUnmapMinimiseAndRaise) {
  std::string typed = testing::TempDir() + "c5-cover-" + std::to_string(getpid()) + ".txt";
  test::Child term({"xterm", "-class", "C5CoverTerm", "-geometry", "60x10+40+40", "-e", "sh",
                    "-c", "cat >'" + typed + "'"});
  if (!Shell("for i in $(seq 50); do xdotool search --class C5CoverTerm && exit 0; sleep 0.1; "
             "done; exit 1")) {
    GTEST_SKIP() << "the terminal did not appear";
  }
  std::unique_ptr<CoverWindowDisplay> display = CoverWindowDisplay::Open();
  ASSERT_NE(display, nullptr);
  // A window of the child's own that asks the window manager for nothing
  // and can be raised over anything.
  test::Child child_window({CHILD_TOP_WINDOW});
  ASSERT_TRUE(child_window.WaitForOutput("\n", 5)) << child_window.output();
  std::string child_id = child_window.output().substr(child_window.output().find("window ") + 7);
  child_id = child_id.substr(0, child_id.find('\n'));
  std::string raise_child = "xdotool windowraise " + child_id;
  // Runs every trick on the cover `window` (shown and held), then ends it.
  auto trick_all = [&](QWidget* window, const std::function<bool()>& holds,
                       const std::string& name) {
    ASSERT_TRUE(WaitUntil(holds, 5000)) << name;
    uint64_t id = window->winId();
    std::string hex = std::to_string(id);
    for (const std::string& trick :
         {"xdotool windowunmap " + hex, "xdotool windowminimize " + hex, raise_child}) {
      Shell(trick);
      // The trick took (the loop that undoes it has not run since): the
      // cover is off the screen or under the child's window. A window
      // manager leaves a window it does not manage alone when asked to
      // minimise it.
      if (trick.find("minimize") == std::string::npos) {
        EXPECT_TRUE(!display->IsViewable(id) || display->IsCovered(id, {id})) << name << trick;
      }
      QElapsedTimer back;
      back.start();
      EXPECT_TRUE(WaitUntil([&] {
        return display->IsViewable(id) && !display->IsCovered(id, {id}) && holds();
      }, 1000)) << name << ": " << trick;
      Pump(200);  // settled: nothing undoes it again
      EXPECT_TRUE(display->IsViewable(id) && !display->IsCovered(id, {id})) << name << ": " << trick;
    }
    Shell("xdotool type --delay 20 'leak'; xdotool key Return");
    Pump(300);
    test::SaveScreenshot(name);
    Shell("xdotool mousemove 640 400 click 1");
  };
  SetBlockingMessageObserverForTesting([&](BlockingMessageWindow* window) {
    trick_all(window, [window] { return window->HoldsInput(); }, "lock-screen-held");
    EXPECT_GE(window->restores(), 1);
  });
  LockComputer(nullptr);

  AgentState state;
  WatchedApp record;
  record.identifier = "c5test-term";
  record.displayName = "Test Terminal";
  record.settings.Credit = 1;
  record.settings.Enabled = true;
  QTimer::singleShot(0, [&] {
    auto* warning = test::FindShown<CreditWarningWindow>();
    ASSERT_NE(warning, nullptr);
    trick_all(warning, [&] { return display->IsViewable(warning->winId()); },
              "credit-warning-held");
  });
  CreditWarningWindow::Run(state, record);
  Pump(300);
  EXPECT_EQ(test::ReadFileOrEmpty(typed), "");
  unlink(typed.c_str());
}

}  // namespace
}  // namespace corvane
