// The full-screen cover in its two looks on a real X display with a window
// manager: the blocking message and lock screen in red, the credit warning
// in blue. Input sent with XTEST while one is up reaches no other
// application, whatever a child does to the cover; a click ends it, nested
// covers hand the input back, the tick timer stands still under the lock
// screen, the warning follows its record and beeps through the set-up's
// hook. Curfews and "Don't fade screen" pick the cover or the standard alert.
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AgentFakeWorld.h"
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

using Clock = std::chrono::steady_clock;
using test::Pump;
using test::SecondsSince;
using test::WaitUntil;

bool Shell(const std::string& command) { return test::RunProgram({"sh", "-c", command}).status == 0; }

// A window as a child's own program could make one: another client's,
// orange, asking the window manager for nothing (override-redirect), so that
// it can be raised over anything.
uint32_t MapChildTopWindow(xcb_connection_t* c) {
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_window_t w = xcb_generate_id(c);
  uint32_t values[] = {0xff8800, 1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 100, 100, 300, 300, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(c, w);
  // A round trip: the window is mapped before anyone is told of it.
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  return w;
}

QMessageBox* ShownMessageBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}

class FullScreenCoverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DISPLAY();
    if (test::Xdotool("version") != 0) GTEST_SKIP() << "xdotool missing";
    // Seconds instead of a minute, beeps 4 times as often; the counting
    // is the windows' own.
    setup_ = {1800, 400, [this] { beeps_.push_back(SecondsSince(start_)); }, nullptr};
    start_ = Clock::now();
  }
  // The screen as it is now, then the click that ends the cover on top.
  static void ShootAndClick(const std::string& screenshot, const std::string& where = "300 300") {
    test::SaveScreenshot(screenshot);
    test::Xdotool("mousemove " + where + " click 1");
  }
  // Once a standard alert shows: its texts and icon into alerts_, its
  // screenshot; then it is left to close by itself.
  void WhenAlertShown(const std::string& screenshot) {
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [this, poll, screenshot] {
      if (QMessageBox* box = ShownMessageBox()) {
        poll->deleteLater();
        alerts_ << box->text() + " / " + box->informativeText() +
                       (box->icon() == QMessageBox::Critical ? " (critical)" : "");
        test::SaveScreenshot(screenshot);
      }
    });
    poll->start(50);
  }

  AgentState state_;
  AlertSetup setup_;
  std::vector<double> beeps_;
  Clock::time_point start_;
  QStringList alerts_;
};

// What a child can do to a cover from a script (unmap, minimise, raise its
// own window over it), each undone within a second; keys typed under the
// lock screen and the credit warning never reach the terminal behind, those
// typed after do; the tick stands still under the lock screen. The warning
// fills the primary screen and redraws from its record until the click.
TEST_F(FullScreenCoverTest, CoversHoldTheInputAndComeBackUntilTheClick) {
  if (!Shell("command -v xterm")) GTEST_SKIP() << "xterm missing";
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
  // Its own connection: the cover leaves only this program's Qt windows over it.
  std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> child(xcb_connect(nullptr, nullptr),
                                                                     &xcb_disconnect);
  ASSERT_EQ(xcb_connection_has_error(child.get()), 0);
  const std::string child_id = std::to_string(MapChildTopWindow(child.get()));

  int ticks = 0;
  QElapsedTimer since_close;
  qint64 first_tick_after_close = -1;
  TickTimer tick([&] {
    ++ticks;
    if (since_close.isValid() && first_tick_after_close < 0) first_tick_after_close = since_close.elapsed();
  });
  tick.Start(0.3);
  std::string name = "lock-screen";
  auto record = test::MakeRecord(20, "c5test-term", "Test Terminal", 12345);
  setup_.on_cover_shown = [&](FullScreenCover* cover) {
    const int ticks_before = ticks;
    EXPECT_TRUE(WaitUntil([cover] { return cover->HoldsInput(); }, 5000)) << name;
    EXPECT_EQ(cover->geometry(), QGuiApplication::primaryScreen()->geometry()) << name;
    // Neither ends by itself nor beeps: "Auto Hide Alerts" and the sound are off.
    EXPECT_FALSE(cover->HasAutoHideTimer() || cover->HasBeepTimer()) << name;
    Pump(1500);  // painted, and a tick would have come
    test::SaveScreenshot(name);
    if (name == "credit-warning") {
      EXPECT_EQ(cover->Text(), "Test Terminal: no time left, so Test Terminal will be closed now.");
      record->settings.credit = 1;  // the tick changed the record meanwhile
    }
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
    if (name == "lock-screen") {
      EXPECT_EQ(ticks, ticks_before);
    } else {
      EXPECT_EQ(cover->Text(), "Test Terminal: one minute left. Please save your work, Test Terminal "
                               "will be closed in one minute.");
    }
    ShootAndClick(name + "-held", "100 100");  // over the terminal, were it reachable
  };
  LockComputer(&tick, setup_);
  since_close.start();
  WaitUntil([&] { return first_tick_after_close >= 0; }, 3000);
  EXPECT_NEAR(first_tick_after_close, 1000, 250);

  name = "credit-warning";
  AlertWindows(state_, nullptr, setup_).ShowCreditWarning(*record, CreditWarningKind::kNoCredit);
  EXPECT_TRUE(FullScreenCover::OpenCovers().empty());

  Shell("xdotool type --delay 20 'free'; xdotool key Return");
  WaitUntil([&] { return test::ReadFileOrEmpty(typed).find("free") != std::string::npos; }, 5000);
  EXPECT_EQ(test::ReadFileOrEmpty(typed), "free\n");
  unlink(typed.c_str());
}

// The blocking message's timers only when asked for, its beeps through the
// set-up's hook, the first after one interval, and a nested message that
// ends first and hands the input back; a warning with "Auto Hide Alerts"
// goes by itself, beeping every interval.
TEST_F(FullScreenCoverTest, TimersOnlyWhenAskedAndNestedMessagesHandBackTheInput) {
  state_.auto_hide_alerts = true;
  state_.play_alerts_sound = true;
  setup_.auto_hide_milliseconds = 60 * 1000;
  int shown = 0;
  FullScreenCover* outer = nullptr;
  std::unique_ptr<QtAgentUserInterface> ui;
  setup_.on_cover_shown = [&](FullScreenCover* cover) {
    ++shown;
    if (shown == 1) {  // the lock screen: never by itself, never a beep
      EXPECT_FALSE(cover->HasAutoHideTimer() || cover->HasBeepTimer());
    } else if (shown == 2) {  // a warning that asks for its timers
      EXPECT_TRUE(cover->HasAutoHideTimer() && cover->HasBeepTimer());
      EXPECT_EQ(cover->Text().toStdString(),
                "The Corvane server cannot be reached. Trying again in two minutes.");
      outer = cover;
      EXPECT_FALSE(WaitUntil([&] { return !beeps_.empty(); }, 350));
      EXPECT_TRUE(WaitUntil([&] { return beeps_.size() == 1; }, 450));
      EXPECT_TRUE(cover->HoldsInput());
      test::SaveScreenshot("blocking-message");
      // A retry firing while the message is up opens a second one on top,
      // which ends first and hands the input back.
      QTimer::singleShot(0, [&] {
        ui->ShowBlockingMessage("Disk is over quota", false);
        EXPECT_TRUE(WaitUntil([&] { return outer->HoldsInput(); }, 2000));
        test::Xdotool("click 1");
      });
      return;
    } else if (shown == 3) {
      EXPECT_FALSE(cover->HasAutoHideTimer());
      EXPECT_TRUE(WaitUntil([&] { return cover->HoldsInput(); }, 5000));
      EXPECT_FALSE(outer->HoldsInput());
    }
    Pump(300);
    test::Xdotool("click 1");
  };
  ui = std::make_unique<QtAgentUserInterface>(state_, nullptr, setup_);
  ui->LockComputer();
  ui->ShowBlockingMessage("Cannot contact remote server", true);
  EXPECT_EQ(shown, 3);

  setup_.auto_hide_milliseconds = 1800;
  setup_.on_cover_shown = nullptr;
  beeps_.clear();
  start_ = Clock::now();
  AlertWindows(state_, nullptr, setup_)
      .ShowCreditWarning(*test::MakeSession(1), CreditWarningKind::kLastMinute);
  EXPECT_NEAR(SecondsSince(start_), 1.8, 0.5);
  EXPECT_GE(beeps_.size(), 3u);  // 0.4, 0.8, 1.2, 1.6 s; a busy machine may drop one
  EXPECT_LE(beeps_.size(), 4u);
}

// Curfews go to the blocking message unless "Don't fade screen" asks for
// the standard alert, which closes itself whatever "Auto Hide Alerts" says.
TEST_F(FullScreenCoverTest, CurfewGoesToBlockingMessageOrStandardAlertWhichClosesItself) {
  auto game = test::MakeRecord(20, "org.example.Game", "Game", 30);
  std::vector<std::pair<std::string, bool>> blocking;
  AlertWindows alerts(
      state_, [&](const std::string& text, bool with_timers) { blocking.emplace_back(text, with_timers); },
      setup_);
  const std::string eight = CurfewTimeText(480);
  EXPECT_NE(eight.find('8'), std::string::npos);
  EXPECT_EQ(CurfewTimeText(-1), "");
  if (QLocale::system().language() == QLocale::C) {
    EXPECT_EQ(CurfewTimeText(1439), "23:59");
  }
  alerts.ShowCurfewWarning(true, *game, 480);
  ASSERT_EQ(blocking.size(), 1u);
  EXPECT_EQ(blocking[0].first, "Game: not allowed before " + eight + ".");
  EXPECT_TRUE(blocking[0].second);

  state_.dont_fade_screen = true;
  state_.play_alerts_sound = true;
  WhenAlertShown("credit-warning-standard-alert");
  alerts.ShowCreditWarning(*test::MakeSession(5), CreditWarningKind::kFiveMinutes);
  // Returned: what follows the warning goes ahead.
  EXPECT_NEAR(SecondsSince(start_), 1.8, 0.5);
  EXPECT_GE(beeps_.size(), 3u);  // 0.4, 0.8, 1.2, 1.6 s; a busy machine may drop one
  EXPECT_LE(beeps_.size(), 4u);
  EXPECT_EQ(ShownMessageBox(), nullptr);

  start_ = Clock::now();
  WhenAlertShown("curfew-warning-standard-alert");
  alerts.ShowCurfewWarning(false, *game, 1439);
  EXPECT_NEAR(SecondsSince(start_), 1.8, 0.5);
  EXPECT_EQ(alerts_, (QStringList{"computer: five minutes left. Please save your work, your session "
                                  "will be closed in five minutes. / Click to continue (critical)",
                                  QString::fromStdString("Game: the allowed time ended at " +
                                                         CurfewTimeText(1439) +
                                                         ". / Click to continue (critical)")}));
  EXPECT_EQ(blocking.size(), 1u);
}

// A loop blocked on the network must not slow the countdown: the passes it
// missed are run late. (Time under a cover is not counted: the first test.)
TEST_F(FullScreenCoverTest, PassesABlockedLoopMissedAreRunLate) {
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
