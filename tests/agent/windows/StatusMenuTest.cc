// The tray's eye and its menu on a real display with trayer as tray host.
#include "StatusMenu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include "AgentUiTestRecords.h"
#include "AgentUiWindowTestSupport.h"

namespace corvane {
namespace {

QStringList MenuLines(const StatusMenu& menu) {
  QStringList lines;
  for (QAction* action : menu.menu()->actions()) lines << (action->isSeparator() ? "---" : action->text());
  return lines;
}

TEST(StatusMenuTest, TrayMenuFollowsLaunchesTerminationsAndDiskChecks) {
  SKIP_WITHOUT_DISPLAY();
  AgentState state;
  int locks = 0;
  StatusMenu menu(state, [&] { ++locks; });
  EXPECT_EQ(MenuLines(menu),
            (QStringList{"No application watched", "No disk quota", "---", "Lock computer"}));

  // Launches: records exist, but items come with the first refresh.
  state.watchedApps = {test::MakeRecord(31, "org.example.Editor", "Editor", 75, 0),
                       test::MakeSession(0, 15), test::MakeGlobal(),
                       test::MakeRecord(20, "org.example.Game", "Game", 1, 58)};
  menu.SetDiskMenuItem(true, 100 * 1048576LL, 1572864);
  EXPECT_EQ(MenuLines(menu)[0], "No application watched");

  if (QSystemTrayIcon::isSystemTrayAvailable() && test::Xdotool("version") == 0) {
    // Open it the way a user does: a click on the eye in the tray.
    QPoint eye;
    ASSERT_TRUE(test::WaitUntil([&] { return test::FindIconOnScreen(22, &eye); }))
        << "the eye never reached the tray";
    test::SaveScreenshot("status-item");
    test::Xdotool("mousemove " + std::to_string(eye.x() + 11) + " " + std::to_string(eye.y() + 11) +
                  " click 1");
    ASSERT_TRUE(test::WaitUntil([&] { return menu.menu()->isVisible(); }));
  } else {
    menu.menu()->popup(QPoint(900, 30));  // no tray host: the menu itself still works
    ASSERT_TRUE(test::WaitUntil([&] { return menu.menu()->isVisible(); }));
  }
  const QStringList opened{"computer: 45 seconds left", "Editor: 1 hour 15 minutes left",
                           "Game: 1 minute left", "Disk: 1.50 MB of 100.00 MB used", "---",
                           "Lock computer"};
  EXPECT_EQ(MenuLines(menu), opened);
  EXPECT_EQ(menu.model().menuRefreshTicks(), 60);
  test::SaveScreenshot("status-menu");

  // Ticks while it is open refresh the lines; a dropped record leaves.
  state.watchedApps[3]->settings.Credit = 0;
  state.watchedApps[3]->secondsInMinute = 59;
  menu.TickStatusMenu();
  EXPECT_EQ(MenuLines(menu)[2].toStdString(), "Game: 1 second left");
  state.watchedApps.erase(state.watchedApps.begin() + 3);
  menu.RemoveAppMenuItem(20);
  menu.RemoveAppMenuItem(4040);  // never had an item
  EXPECT_EQ(MenuLines(menu).size(), 5);
  menu.menu()->hide();

  // "Lock computer" calls the lock.
  menu.menu()->actions().last()->trigger();
  EXPECT_EQ(locks, 1);

  // Terminations down to none bring the placeholder back; quota off.
  menu.RemoveAppMenuItem(31);
  menu.RemoveAppMenuItem(-1);
  menu.SetDiskMenuItem(false, 0, 0);
  EXPECT_EQ(MenuLines(menu),
            (QStringList{"No application watched", "No disk quota", "---", "Lock computer"}));

  // Control+Alt+H's toggle.
  EXPECT_TRUE(menu.IsStatusItemShown());
  menu.ToggleStatusItem();
  EXPECT_FALSE(menu.trayIcon()->isVisible());
  menu.ToggleStatusItem();
  EXPECT_TRUE(menu.trayIcon()->isVisible());
}

}  // namespace
}  // namespace corvane
