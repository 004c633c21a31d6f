#include "DisplayApp.h"

#include <xcb/xcb.h>

#include <cstdlib>

// Linked into every test that runs Qt windows. The system's font and bus
// libraries keep caches for the life of the process that they never free;
// the leak checker is to judge our code.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace corvane::test {

QApplication* DisplayApp(const char* name) {
  static QApplication* app = nullptr;
  static int argc = 1;
  static char* argv[] = {const_cast<char*>(name), nullptr};
  if (app == nullptr) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return nullptr;
    xcb_connection_t* c = xcb_connect(display, nullptr);
    bool reachable = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    if (!reachable) return nullptr;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    app = new QApplication(argc, argv);
  }
  return app;
}

}  // namespace corvane::test
