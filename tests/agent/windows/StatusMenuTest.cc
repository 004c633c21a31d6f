// The tray's eye and its menu on a real display with trayer as tray host:
// what the window adds to the menu's model is that it is drawn, opens on a
// click, follows the model as the tick changes it, locks, and hides.
#include "StatusMenu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <cstdio>

#include "AgentFakeWorld.h"
#include "AgentUiWindowTestSupport.h"

namespace corvane {
namespace {

// The screen position of this program's window of size×size (the tray
// icon once embedded), found through the X server.
bool FindIconOnScreen(int size, QPoint* position) {
  const std::string command = "xdotool search --classname " +
                              QCoreApplication::applicationName().toStdString() +
                              " getwindowgeometry %@ 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char line[256];
  int x = 0, y = 0, w = 0, h = 0;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, pipe) != nullptr) {
    if (std::sscanf(line, " Position: %d,%d", &x, &y) == 2) continue;
    if (std::sscanf(line, " Geometry: %dx%d", &w, &h) == 2 && w == size && h == size) {
      *position = QPoint(x, y);
      found = true;
    }
  }
  pclose(pipe);
  return found;
}

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
    // Open it the way a user does: a click on the eye in the tray.
    QPoint eye;
    ASSERT_TRUE(test::WaitUntil([&] { return FindIconOnScreen(22, &eye); }))
        << "the eye never reached the tray";
    test::SaveScreenshot("status-item");
    test::Xdotool("mousemove " + std::to_string(eye.x() + 11) + " " + std::to_string(eye.y() + 11) +
                  " click 1");
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

}  // namespace
}  // namespace corvane
