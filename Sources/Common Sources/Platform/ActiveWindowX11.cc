// _NET_ACTIVE_WINDOW of the root window, then the window's _NET_WM_PID, or
// the client pid the X server itself knows (X-Resource) for toolkits that
// set none.
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdlib>
#include <cstring>

#include "Platform/ActiveWindow.h"

namespace corvane {
namespace {

class Display {
 public:
  Display() {
    connection_ = xcb_connect(nullptr, &screen_);
    if (xcb_connection_has_error(connection_)) return;
    ewmh_ok_ = xcb_ewmh_init_atoms_replies(&ewmh_, xcb_ewmh_init_atoms(connection_, &ewmh_),
                                           nullptr) != 0;
  }
  ~Display() {
    if (ewmh_ok_) xcb_ewmh_connection_wipe(&ewmh_);
    xcb_disconnect(connection_);
  }
  bool ok() const { return ewmh_ok_; }
  xcb_connection_t* connection() const { return connection_; }
  xcb_ewmh_connection_t* ewmh() { return &ewmh_; }
  int screen() const { return screen_; }

 private:
  xcb_connection_t* connection_ = nullptr;
  xcb_ewmh_connection_t ewmh_{};
  int screen_ = 0;
  bool ewmh_ok_ = false;
};

std::string StringProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                           xcb_atom_t type) {
  xcb_get_property_reply_t* reply =
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 1024), nullptr);
  if (reply == nullptr) return {};
  std::string value(static_cast<const char*>(xcb_get_property_value(reply)),
                    xcb_get_property_value_length(reply));
  std::free(reply);
  return value;
}

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::strlen(name), name), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

int ClientPidFromServer(xcb_connection_t* c, xcb_window_t window) {
  xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  xcb_res_query_client_ids_reply_t* reply =
      xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &spec), nullptr);
  if (reply == nullptr) return 0;
  int pid = 0;
  for (auto it = xcb_res_query_client_ids_ids_iterator(reply); it.rem > 0;
       xcb_res_client_id_value_next(&it)) {
    if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
        xcb_res_client_id_value_value_length(it.data) >= 1) {
      pid = static_cast<int>(*xcb_res_client_id_value_value(it.data));
      break;
    }
  }
  std::free(reply);
  return pid;
}

}  // namespace

std::optional<ActiveWindowOwner> FindActiveWindowOwner() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == 0) return std::nullopt;
  Display display;
  if (!display.ok()) return std::nullopt;
  xcb_connection_t* c = display.connection();
  xcb_window_t window = XCB_WINDOW_NONE;
  if (!xcb_ewmh_get_active_window_reply(
          display.ewmh(), xcb_ewmh_get_active_window(display.ewmh(), display.screen()), &window,
          nullptr) ||
      window == XCB_WINDOW_NONE) {
    return std::nullopt;
  }
  ActiveWindowOwner owner;
  uint32_t pid = 0;
  if (xcb_ewmh_get_wm_pid_reply(display.ewmh(), xcb_ewmh_get_wm_pid(display.ewmh(), window), &pid,
                                nullptr)) {
    owner.pid = static_cast<int>(pid);
  } else {
    owner.pid = ClientPidFromServer(c, window);
  }
  std::string wm_class = StringProperty(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
  size_t nul = wm_class.find('\0');
  owner.wm_instance = wm_class.substr(0, nul);
  if (nul != std::string::npos) {
    std::string rest = wm_class.substr(nul + 1);
    owner.wm_class = rest.substr(0, rest.find('\0'));
  }
  xcb_atom_t gtk_id = InternAtom(c, "_GTK_APPLICATION_ID");
  if (gtk_id != XCB_ATOM_NONE) {
    owner.gtk_application_id = StringProperty(c, window, gtk_id, display.ewmh()->UTF8_STRING);
  }
  return owner;
}

}  // namespace corvane
