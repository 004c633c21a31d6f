// The top-level windows the window manager lists (_NET_CLIENT_LIST), with
// the process behind each, and a descriptor that becomes readable when the
// list may have changed, for the program's event loop to watch.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

struct ClientWindow {
  uint32_t window = 0;
  // The client pid the display server reports (X-Resource); the window's own
  // _NET_WM_PID only when the server gives none. 0 when neither does.
  int32_t pid = 0;
  std::string wm_instance;         // WM_CLASS, first part
  std::string wm_class;            // WM_CLASS, second part
  std::string gtk_application_id;  // _GTK_APPLICATION_ID
  // _NET_WM_WINDOW_TYPE says panel (DOCK) or desktop background (DESKTOP).
  // Any client may say so of its own window: a hint, never proof.
  bool desktop_part = false;
};

class ApplicationWindows {
 public:
  // A connection of its own to the display named by DISPLAY; null without a
  // display.
  static std::unique_ptr<ApplicationWindows> Open();
  virtual ~ApplicationWindows() = default;

  // Readable when events are pending.
  virtual int EventDescriptor() const = 0;
  // Reads every pending event; true when the client list may have changed
  // (or the connection broke: its descriptor then stays readable and the
  // list is empty).
  virtual bool DrainEvents() = 0;
  // The client list in the window manager's order (oldest first).
  virtual std::vector<ClientWindow> ClientWindows() = 0;
  // The owner of _NET_ACTIVE_WINDOW, 0 when none; `captured` is set when that
  // window is full screen (_NET_WM_STATE_FULLSCREEN) or another connection
  // holds the keyboard grab (this program's own windows included).
  virtual int32_t ActiveWindowPid(bool* captured) = 0;
};

}  // namespace corvane
