// The tray's eye and its menu, the credit strip and the hot keys on a real
// display (trayer as tray host). What the windows add to the menu's model
// and the strip's text is that they are drawn, open or fade at the right
// time, follow the tick and leave clicks and focus to what is under them.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

#include "AgentFakeWorld.h"
#include "AgentUiWindowTestSupport.h"
#include "CreditStrip.h"
#include "HotKeys.h"
#include "StatusMenu.h"

namespace corvane {
namespace {

QStringList MenuLines(const StatusMenu& menu) {
  QStringList lines;
  for (QAction* action : menu.menu()->actions()) lines << (action->isSeparator() ? "---" : action->text());
  return lines;
}

TEST(StatusMenuTest, TrayMenuOpensOnAClickFollowsTheTickLocksAndHides) {
  SKIP_WITHOUT_DISPLAY();
  AgentState state;
  int locks = 0;
  StatusMenu menu(state, [&] { ++locks; });
  state.watched_apps = {test::MakeSession(0, 15), test::MakeRecord(20, "org.example.Game", "Game", 1, 58)};
  menu.SetDiskMenuItem(true, 100 * 1048576LL, 1572864);
  if (QSystemTrayIcon::isSystemTrayAvailable() && test::Xdotool("version") == 0) {
    // Open it the way a user does: a click on the eye, this program's one
    // window on screen once the tray host has taken it in.
    const std::string eye =
        "search --onlyvisible --classname " + QCoreApplication::applicationName().toStdString();
    ASSERT_TRUE(test::WaitUntil([&] { return test::Xdotool(eye) == 0; })) << "the eye never reached the tray";
    test::SaveScreenshot("status-item");
    test::Xdotool(eye + " mousemove --window %1 11 11 click 1");
  } else {
    menu.menu()->popup(QPoint(900, 30));  // no tray host: the menu itself still works
  }
  ASSERT_TRUE(test::WaitUntil([&] { return menu.menu()->isVisible(); }));
  EXPECT_EQ(MenuLines(menu), (QStringList{"computer: 45 seconds left", "Game: 1 minute left",
                                          "Disk: 1.50 MB of 100.00 MB used", "---", "Lock computer"}));
  test::SaveScreenshot("status-menu");

  // Ticks while it is open redraw the lines; a dropped record leaves.
  state.watched_apps[1]->seconds_in_minute = 59;
  state.watched_apps[1]->settings.credit = 0;
  menu.TickStatusMenu();
  EXPECT_EQ(MenuLines(menu)[1].toStdString(), "Game: 1 second left");
  menu.RemoveAppMenuItem(20);
  EXPECT_EQ(MenuLines(menu).size(), 4);
  menu.menu()->hide();

  menu.menu()->actions().last()->trigger();  // "Lock computer"
  EXPECT_EQ(locks, 1);
  menu.ToggleStatusItem();  // Control+Alt+H
  EXPECT_FALSE(menu.trayIcon()->isVisible());
  menu.ToggleStatusItem();
  EXPECT_TRUE(menu.trayIcon()->isVisible());
}

// The strip's place, its fade after four passes of a running tick, a redraw
// when the front changes, and clicks and focus left to the window under it.
TEST(CreditStripTest, FrontApplicationOrComputerForFourPassesClicksGoThrough) {
  SKIP_WITHOUT_DISPLAY();
  AgentState state;
  state.watched_apps = {test::MakeSession(30), test::MakeRecord(20, "org.example.Game", "Game", 75)};
  test::FakeWorld world;  // the machine: which application is in front
  world.front_pid = 20;
  state.system = &world;
  CreditStrip strip(state);
  QPushButton below("below");
  int clicks = 0;
  QObject::connect(&below, &QPushButton::clicked, [&] { ++clicks; });
  below.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  below.setGeometry(0, 0, 600, 120);
  below.show();
  below.activateWindow();
  ASSERT_TRUE(test::WaitUntil([&] { return below.hasFocus(); }));

  QTimer tick;  // one pass per second, as the tick drives it
  QObject::connect(&tick, &QTimer::timeout, [&] { strip.TickCreditStrip(); });
  const auto start = std::chrono::steady_clock::now();
  strip.ShowCreditStrip();
  tick.start(1000);
  ASSERT_TRUE(test::WaitUntil([&] { return strip.isVisible(); }));
  EXPECT_EQ(strip.Text(), "Game: 1 hour 15 minutes left");
  EXPECT_EQ(strip.geometry().topLeft(), QGuiApplication::primaryScreen()->geometry().topLeft());
  EXPECT_EQ(strip.width(), QGuiApplication::primaryScreen()->geometry().width());
  test::Pump(300);
  test::SaveScreenshot("credit-strip");
  EXPECT_TRUE(below.hasFocus()) << "the strip took the focus";
  test::Xdotool("mousemove 300 10 click 1");
  EXPECT_TRUE(test::WaitUntil([&] { return clicks == 1; }, 2000)) << "the click stopped at the strip";
  world.front_pid = 99;  // an unwatched application came to the front
  strip.RefreshCreditStrip();
  EXPECT_EQ(strip.Text(), "computer: 30 minutes left");
  ASSERT_TRUE(test::WaitUntil([&] { return !strip.isVisible(); }, 6000));
  EXPECT_NEAR(test::SecondsSince(start), 4.3, 0.6);
}

// Control+Alt+C and Control+Alt+H sent through the X server with xdotool.
TEST(HotKeysTest, GrabbedKeysReachTheAgentWhateverTheLockKeys) {
  SKIP_WITHOUT_DISPLAY();
  if (test::Xdotool("version") != 0) GTEST_SKIP() << "xdotool not installed";
  int strip = 0, status = 0;
  HotKeys keys([&] { ++strip; }, [&] { ++status; });
  const HotKeysStart started = keys.Start();
  if (started == HotKeysStart::kHeldElsewhere) {
    GTEST_SKIP() << "another client on this display holds the hot keys";
  }
  ASSERT_EQ(started, HotKeysStart::kStarted);

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
  EXPECT_EQ(status, 2);

  // A second grabber of the same keys is refused, and says so.
  HotKeys other(nullptr, nullptr);
  EXPECT_EQ(other.Start(), HotKeysStart::kHeldElsewhere);
}

}  // namespace
}  // namespace corvane
