// _NET_ACTIVE_WINDOW of the root window and what that window says of its
// program, read the same way as the agent's window watching.
#include "Platform/X11/ActiveWindow.h"
#include "Platform/X11/X11Windows.h"

namespace corvane {

std::optional<ActiveWindowOwner> FindActiveWindowOwner() {
  std::unique_ptr<X11Connection> x = X11Connection::Open();
  if (x == nullptr) return std::nullopt;
  std::vector<xcb_window_t> active = ReadRootWindows(*x, X11Atom::kNetActiveWindow, 1);
  if (active.empty()) return std::nullopt;
  ClientWindow window = ReadClientWindows(*x, active).front();
  ActiveWindowOwner owner;
  owner.pid = window.pid;
  owner.wm_instance = std::move(window.wm_instance);
  owner.wm_class = std::move(window.wm_class);
  owner.gtk_application_id = std::move(window.gtk_application_id);
  return owner;
}

}  // namespace corvane
