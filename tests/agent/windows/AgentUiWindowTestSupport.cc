#include "AgentUiWindowTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>

#include "DisplayApp.h"

namespace corvane::test {

QApplication* WindowTestApp() {
  QApplication* app = DisplayApp("AgentUiWindowsTest");
  if (app != nullptr) app->setQuitOnLastWindowClosed(false);
  return app;
}

bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void Pump(int milliseconds) {
  WaitUntil([] { return false; }, milliseconds);
}

std::string SaveScreenshot(const std::string& name) {
  Pump(150);  // let the server draw what was just mapped
  QScreen* screen = QGuiApplication::primaryScreen();
  const QString folder = QStringLiteral(CORVANE_BINARY_DIR "/screenshots");
  QDir().mkpath(folder);
  const QString path = QStringLiteral("%1/%2-%3x%4.png")
                           .arg(folder, QString::fromStdString(name))
                           .arg(screen->geometry().width())
                           .arg(screen->geometry().height());
  screen->grabWindow(0).save(path, "PNG");
  return path.toStdString();
}

int Xdotool(const std::string& arguments) {
  const std::string command = "xdotool " + arguments + " >/dev/null 2>&1";
  return std::system(command.c_str());
}

}  // namespace corvane::test
