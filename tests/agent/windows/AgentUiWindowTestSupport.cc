#include "AgentUiWindowTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
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

}  // namespace corvane::test
