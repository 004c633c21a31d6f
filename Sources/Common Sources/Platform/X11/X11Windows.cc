#include "Platform/X11/X11Windows.h"

#include <xcb/res.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "Platform/X11/WindowPropertyValues.h"

namespace corvane {
namespace {

// Bounds, in 32-bit units, on what is read of a property a client wrote: a
// longer value is cut, never allocated whole.
constexpr uint32_t kTextPropertyLongs = 256;
constexpr uint32_t kStatePropertyLongs = 64;

constexpr const char* kAtomNames[] = {
    "_NET_CLIENT_LIST", "_NET_ACTIVE_WINDOW",        "_NET_WM_PID", "_NET_WM_STATE",
    "_NET_WM_STATE_FULLSCREEN", "_GTK_APPLICATION_ID", "UTF8_STRING",
    "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_DESKTOP"};
static_assert(std::size(kAtomNames) == static_cast<size_t>(X11Atom::kCount),
              "X11Windows: one name per atom");

struct PropertyValue {
  uint8_t format = 0;
  std::string bytes;
};

xcb_get_property_cookie_t AskProperty(xcb_connection_t* c, xcb_window_t window,
                                      xcb_atom_t property, xcb_atom_t type, uint32_t longs) {
  return xcb_get_property(c, 0, window, property, type, 0, longs);
}

// A vanished window answers with an error, which is dropped here rather
// than left for the event queue.
PropertyValue TakeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  PropertyValue value;
  xcb_generic_error_t* error = nullptr;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, &error);
  std::free(error);
  if (reply == nullptr) return value;
  int length = xcb_get_property_value_length(reply);
  if (length > 0) {
    value.format = reply->format;
    value.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                       static_cast<size_t>(length));
  }
  std::free(reply);
  return value;
}

int32_t TakeClientPid(xcb_connection_t* c, xcb_res_query_client_ids_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  xcb_res_query_client_ids_reply_t* reply = xcb_res_query_client_ids_reply(c, cookie, &error);
  std::free(error);
  if (reply == nullptr) return 0;
  int32_t pid = 0;
  for (auto it = xcb_res_query_client_ids_ids_iterator(reply); it.rem > 0 && pid == 0;
       xcb_res_client_id_value_next(&it)) {
    if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
        xcb_res_client_id_value_value_length(it.data) >= 1) {
      pid = ProcessIdFromCardinal(*xcb_res_client_id_value_value(it.data));
    }
  }
  std::free(reply);
  return pid;
}

struct WindowCookies {
  xcb_res_query_client_ids_cookie_t client{};
  xcb_get_property_cookie_t wm_pid{};
  xcb_get_property_cookie_t wm_class{};
  xcb_get_property_cookie_t gtk_id{};
  xcb_get_property_cookie_t type{};
};

}  // namespace

std::unique_ptr<X11Connection> X11Connection::Open() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == 0) return nullptr;
  std::unique_ptr<X11Connection> x(new X11Connection);
  int screen = 0;
  x->connection_ = xcb_connect(nullptr, &screen);
  xcb_connection_t* c = x->connection_;
  if (xcb_connection_has_error(c)) return nullptr;
  xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen && roots.rem > 0; ++i) xcb_screen_next(&roots);
  if (roots.rem == 0) return nullptr;
  x->root_ = roots.data->root;

  xcb_intern_atom_cookie_t cookies[std::size(kAtomNames)];
  for (size_t i = 0; i < std::size(kAtomNames); ++i) {
    cookies[i] = xcb_intern_atom(c, 0, std::strlen(kAtomNames[i]), kAtomNames[i]);
  }
  const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
  xcb_res_query_version_cookie_t version{};
  bool res_present = res != nullptr && res->present;
  if (res_present) version = xcb_res_query_version(c, 1, 2);
  bool atoms_ok = true;
  for (size_t i = 0; i < std::size(kAtomNames); ++i) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookies[i], nullptr);
    atoms_ok = atoms_ok && reply != nullptr;
    if (reply != nullptr) x->atoms_[i] = reply->atom;
    std::free(reply);
  }
  if (res_present) {
    xcb_res_query_version_reply_t* reply = xcb_res_query_version_reply(c, version, nullptr);
    x->has_client_ids_ = reply != nullptr && (reply->server_major > 1 ||
                                              (reply->server_major == 1 && reply->server_minor >= 2));
    std::free(reply);
  }
  if (!atoms_ok || x->broken()) return nullptr;
  return x;
}

X11Connection::~X11Connection() { xcb_disconnect(connection_); }

std::vector<xcb_window_t> ReadRootWindows(X11Connection& x, X11Atom property, uint32_t limit) {
  xcb_connection_t* c = x.connection();
  PropertyValue value =
      TakeProperty(c, AskProperty(c, x.root(), x.atom(property), XCB_ATOM_WINDOW, limit));
  std::vector<xcb_window_t> windows;
  for (uint32_t w : PropertyItems32(value.format, value.bytes)) {
    if (w != XCB_WINDOW_NONE) windows.push_back(w);
  }
  return windows;
}

std::vector<ClientWindow> ReadClientWindows(X11Connection& x,
                                            const std::vector<xcb_window_t>& windows) {
  xcb_connection_t* c = x.connection();
  // Every request goes out before the first reply is awaited.
  std::vector<WindowCookies> cookies(windows.size());
  for (size_t i = 0; i < windows.size(); ++i) {
    if (x.has_client_ids()) {
      xcb_res_client_id_spec_t spec{windows[i], XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
      cookies[i].client = xcb_res_query_client_ids(c, 1, &spec);
    }
    cookies[i].wm_pid = AskProperty(c, windows[i], x.atom(X11Atom::kNetWmPid),
                                    XCB_ATOM_CARDINAL, 1);
    cookies[i].wm_class = AskProperty(c, windows[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                                      kTextPropertyLongs);
    cookies[i].gtk_id = AskProperty(c, windows[i], x.atom(X11Atom::kGtkApplicationId),
                                    x.atom(X11Atom::kUtf8String), kTextPropertyLongs);
    cookies[i].type = AskProperty(c, windows[i], x.atom(X11Atom::kNetWmWindowType), XCB_ATOM_ATOM,
                                  kStatePropertyLongs);
  }
  std::vector<ClientWindow> result(windows.size());
  for (size_t i = 0; i < windows.size(); ++i) {
    ClientWindow& w = result[i];
    w.window = windows[i];
    if (x.has_client_ids()) w.pid = TakeClientPid(c, cookies[i].client);
    PropertyValue wm_pid = TakeProperty(c, cookies[i].wm_pid);
    if (w.pid == 0) w.pid = ProcessIdFromCardinal(FirstPropertyItem32(wm_pid.format, wm_pid.bytes));
    PropertyValue wm_class = TakeProperty(c, cookies[i].wm_class);
    SplitWmClass(wm_class.format, wm_class.bytes, &w.wm_instance, &w.wm_class);
    PropertyValue gtk_id = TakeProperty(c, cookies[i].gtk_id);
    w.gtk_application_id = PropertyText(gtk_id.format, gtk_id.bytes);
    PropertyValue type = TakeProperty(c, cookies[i].type);
    for (uint32_t atom : PropertyItems32(type.format, type.bytes)) {
      if (atom == x.atom(X11Atom::kNetWmWindowTypeDock) ||
          atom == x.atom(X11Atom::kNetWmWindowTypeDesktop)) {
        w.desktop_part = true;
      }
    }
  }
  return result;
}

bool IsFullScreenWindow(X11Connection& x, xcb_window_t window) {
  xcb_connection_t* c = x.connection();
  PropertyValue state = TakeProperty(
      c, AskProperty(c, window, x.atom(X11Atom::kNetWmState), XCB_ATOM_ATOM, kStatePropertyLongs));
  for (uint32_t atom : PropertyItems32(state.format, state.bytes)) {
    if (atom == x.atom(X11Atom::kNetWmStateFullscreen)) return true;
  }
  return false;
}

bool KeyboardGrabbedByOther(X11Connection& x) {
  xcb_connection_t* c = x.connection();
  xcb_generic_error_t* error = nullptr;
  xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(
      c,
      xcb_grab_keyboard(c, 0, x.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                        XCB_GRAB_MODE_ASYNC),
      &error);
  std::free(error);
  if (reply == nullptr) return false;
  uint8_t status = reply->status;
  std::free(reply);
  if (status == XCB_GRAB_STATUS_SUCCESS) {
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_flush(c);
  }
  return status == XCB_GRAB_STATUS_ALREADY_GRABBED || status == XCB_GRAB_STATUS_FROZEN;
}

}  // namespace corvane
