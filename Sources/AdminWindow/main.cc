// Corvane 5 Admin: the parent's window over the server's settings and
// statistics. `--server HOST[:PORT]` names the server; without it the window
// looks for servers through DNS-SD.
#include <QApplication>
#include <QTimer>

#include "AdminMainWindow.h"
#include "Localization.h"
#include "ServerBar.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  corvane::InitLocalization();
  QApplication::setApplicationName("Corvane 5 Admin");
  QApplication::setDesktopFileName("corvane5-admin");
  QString server;
  QStringList args = QApplication::arguments();
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--server") server = args[i + 1];
  }
  corvane::admin::AdminMainWindow window;
  window.resize(1280, 800);
  window.show();
  // After the first paint: finding a server takes a few seconds.
  QTimer::singleShot(0, &window, [&] {
    if (server.isEmpty()) {
      window.server_bar()->FindServers();
    } else {
      window.server_bar()->ConnectTo(server);
    }
  });
  return app.exec();
}
