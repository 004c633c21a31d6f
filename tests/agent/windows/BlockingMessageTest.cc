// The full-screen covers on a real X display with a window manager: input
// sent with XTEST while one is up reaches no other application, whatever a
// child does to the cover; a click ends it, nested messages hand the input
// back, the tick timer stands still.
#include <QElapsedTimer>
#include <QTimer>

#include <unistd.h>

#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "AgentUiWindowTestSupport.h"
#include "AlertWindows.h"
#include "BlockingMessage.h"
#include "ClientTestSupport.h"
#include "FullScreenCover.h"
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
};

// What a child can do to a cover from a script (unmap, minimise, raise its
// own window over it), each undone within a second; keys typed under the
// lock screen and the credit warning never reach the terminal behind, those
// typed after do; the tick stands still under the lock screen.
TEST_F(BlockingMessageTest, CoversHoldTheInputAndComeBackUntilTheClick) {
  std::string typed = testing::TempDir() + "c5-cover-" + std::to_string(getpid()) + ".txt";
  test::Child term({"xterm", "-class", "C5CoverTerm", "-geometry", "60x10+40+40", "-e", "sh",
                    "-c", "cat >'" + typed + "'"});
  if (!Shell("for i in $(seq 50); do xdotool search --class C5CoverTerm && "
             "xprop -root _NET_ACTIVE_WINDOW | grep -qi \"$(printf '%x' $(xdotool search --class "
             "C5CoverTerm | head -1))\" && exit 0; sleep 0.1; done; exit 1")) {
    GTEST_SKIP() << "the terminal did not become the active window";
  }
  std::unique_ptr<CoverWindowDisplay> display = CoverWindowDisplay::Open();
  ASSERT_NE(display, nullptr);
  test::Child child_window({CHILD_TOP_WINDOW});
  ASSERT_TRUE(child_window.WaitForOutput("\n", 5)) << child_window.output();
  std::string child_id = child_window.output().substr(child_window.output().find("window ") + 7);
  child_id = child_id.substr(0, child_id.find('\n'));

  int ticks = 0;
  QElapsedTimer since_close;
  qint64 first_tick_after_close = -1;
  TickTimer tick([&] {
    ++ticks;
    if (since_close.isValid() && first_tick_after_close < 0) first_tick_after_close = since_close.elapsed();
  });
  tick.Start(0.3);
  AlertSetup setup;
  std::string name = "lock-screen";
  setup.on_cover_shown = [&](FullScreenCover* cover) {
    const int ticks_before = ticks;
    EXPECT_TRUE(WaitUntil([cover] { return cover->HoldsInput(); }, 5000)) << name;
    Pump(1500);  // painted, and a tick would have come
    test::SaveScreenshot(name);
    const uint64_t id = cover->winId();
    const std::string hex = std::to_string(id);
    for (const std::string& trick : {"xdotool windowunmap " + hex, "xdotool windowminimize " + hex,
                                     "xdotool windowraise " + child_id}) {
      Shell(trick);
      // The trick took (the loop that undoes it has not run since). A window
      // manager leaves a window it does not manage alone when asked to
      // minimise it.
      if (trick.find("minimize") == std::string::npos) {
        EXPECT_TRUE(!display->IsViewable(id) || display->IsCovered(id, {id})) << name << trick;
      }
      auto back = [&] { return display->IsViewable(id) && !display->IsCovered(id, {id}) && cover->HoldsInput(); };
      EXPECT_TRUE(WaitUntil(back, 1000)) << name << ": " << trick;
      Pump(200);  // settled: nothing undoes it again
      EXPECT_TRUE(back()) << name << ": " << trick;
    }
    EXPECT_GE(cover->restores(), 1) << name;
    Shell("xdotool type --delay 20 'grabbed'; xdotool key Return");
    Pump(300);
    test::SaveScreenshot(name + "-held");
    if (name == "lock-screen") {
      EXPECT_EQ(ticks, ticks_before);
    }
    Shell("xdotool mousemove 100 100 click 1");  // over the terminal, were it reachable
  };
  LockComputer(&tick, setup);
  since_close.start();
  WaitUntil([&] { return first_tick_after_close >= 0; }, 3000);
  EXPECT_NEAR(first_tick_after_close, 1000, 250);

  AgentState state;
  WatchedApp record;
  record.identifier = "c5test-term";
  record.display_name = "Test Terminal";
  record.settings.credit = 1;
  name = "credit-warning";
  AlertWindows(state, nullptr, setup).ShowCreditWarning(record, CreditWarningKind::kLastMinute);

  Shell("xdotool type --delay 20 'free'; xdotool key Return");
  WaitUntil([&] { return test::ReadFileOrEmpty(typed).find("free") != std::string::npos; }, 5000);
  EXPECT_EQ(test::ReadFileOrEmpty(typed), "free\n");
  unlink(typed.c_str());
}

TEST_F(BlockingMessageTest, TimersOnlyWhenAskedAndNestedMessagesHandBackTheInput) {
  AgentState state;
  state.auto_hide_alerts = true;
  state.play_alerts_sound = true;
  int beeps = 0;
  AlertSetup setup{60 * 1000, 400, [&] { ++beeps; }, nullptr};
  int shown = 0;
  FullScreenCover* outer = nullptr;
  std::unique_ptr<QtAgentUserInterface> ui;
  setup.on_cover_shown = [&](FullScreenCover* cover) {
    ++shown;
    if (shown == 1) {  // the lock screen: never by itself, never a beep
      EXPECT_FALSE(cover->HasAutoHideTimer() || cover->HasBeepTimer());
    } else if (shown == 2) {  // a warning that asks for its timers
      EXPECT_TRUE(cover->HasAutoHideTimer() && cover->HasBeepTimer());
      EXPECT_EQ(cover->Text().toStdString(),
                "The Corvane server cannot be reached. Trying again in two minutes.");
      outer = cover;
      // The first beep comes after one interval, not before.
      EXPECT_FALSE(WaitUntil([&] { return beeps > 0; }, 350));
      EXPECT_TRUE(WaitUntil([&] { return beeps == 1; }, 450));
      EXPECT_TRUE(cover->HoldsInput());
      test::SaveScreenshot("blocking-message");
      // A retry firing while the message is up opens a second one on top,
      // which ends first and hands the input back.
      QTimer::singleShot(0, [&] {
        ui->ShowBlockingMessage("Disk is over quota", false);
        EXPECT_TRUE(WaitUntil([&] { return outer->HoldsInput(); }, 2000));
        Shell("xdotool click 1");
      });
      return;
    } else if (shown == 3) {
      EXPECT_FALSE(cover->HasAutoHideTimer());
      EXPECT_TRUE(WaitUntil([&] { return cover->HoldsInput(); }, 5000));
      EXPECT_FALSE(outer->HoldsInput());
    }
    Pump(300);
    Shell("xdotool click 1");
  };
  ui = std::make_unique<QtAgentUserInterface>(state, nullptr, setup);
  ui->LockComputer();
  ui->ShowBlockingMessage("Cannot contact remote server", true);
  EXPECT_EQ(shown, 3);
}

// A loop blocked on the network must not slow the countdown: the passes it
// missed are run late. (Time under a message is not counted: the cover test
// above.)
TEST_F(BlockingMessageTest, PassesABlockedLoopMissedAreRunLate) {
  int ticks = 0;
  TickTimer tick([&] {
    if (++ticks == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  });
  tick.Start(0.1);
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 1; }, 2000));
  Pump(500);
  EXPECT_GE(ticks, 3);
  EXPECT_LE(ticks, 4);
}

}  // namespace
}  // namespace corvane
