#include "AgentUiWindowTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

namespace corvane::test {

QApplication* WindowTestApp() {
  // Never destroyed: tearing Qt down among the other static objects at exit
  // crashes, and the process ends right after anyway.
  static QApplication* app = nullptr;
  static int argc = 1;
  static char name[] = "AgentUiWindowsTest";
  static char* argv[] = {name, nullptr};
  if (!app) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return nullptr;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
  }
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

}  // namespace corvane::test
