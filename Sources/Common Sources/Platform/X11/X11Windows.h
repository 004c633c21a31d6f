// Internal to the *X11.cc files (it names xcb types): a connection of its
// own to the display with the atoms the window watching needs, and the
// reading of window details, batched so that many windows cost one round
// trip.
#pragma once

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/X11/ApplicationWindows.h"

namespace corvane {

enum class X11Atom {
  kNetClientList,
  kNetActiveWindow,
  kNetWmPid,
  kNetWmState,
  kNetWmStateFullscreen,
  kGtkApplicationId,
  kUtf8String,
  kNetWmWindowType,
  kNetWmWindowTypeDock,
  kNetWmWindowTypeDesktop,
  kCount
};

class X11Connection {
 public:
  // Null without DISPLAY or when the display cannot be reached.
  static std::unique_ptr<X11Connection> Open();
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  xcb_window_t root() const { return root_; }
  xcb_atom_t atom(X11Atom a) const { return atoms_[static_cast<size_t>(a)]; }
  // Whether the server answers X-Resource client-id queries (1.2 and later).
  bool has_client_ids() const { return has_client_ids_; }
  bool broken() const { return xcb_connection_has_error(connection_) != 0; }

 private:
  X11Connection() = default;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = XCB_WINDOW_NONE;
  std::array<xcb_atom_t, static_cast<size_t>(X11Atom::kCount)> atoms_{};
  bool has_client_ids_ = false;
};

// The windows a root property of type WINDOW lists, at most `limit`, without
// None entries.
std::vector<xcb_window_t> ReadRootWindows(X11Connection& x, X11Atom property, uint32_t limit);
// The details of each window, in the same order. The pid is the client pid
// the X server reports (X-Resource); the window's _NET_WM_PID only when the
// server gives none, since any client may write that property. A window that
// has gone gives pid 0 and empty hints.
std::vector<ClientWindow> ReadClientWindows(X11Connection& x,
                                            const std::vector<xcb_window_t>& windows);
// Whether the window's _NET_WM_STATE holds _NET_WM_STATE_FULLSCREEN.
bool IsFullScreenWindow(X11Connection& x, xcb_window_t window);
// Whether another client holds the keyboard (our grab of the root window is
// refused). A grab that succeeds is released at once.
bool KeyboardGrabbedByOther(X11Connection& x);

}  // namespace corvane
