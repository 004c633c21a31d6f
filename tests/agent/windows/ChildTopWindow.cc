// A window as a child's own program could make one: orange, 300x300,
// asking the window manager for nothing (override-redirect), so that it can
// be raised over anything. Prints "window <id>" once mapped, then waits to
// be killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main() {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return 1;
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_window_t w = xcb_generate_id(c);
  uint32_t values[] = {0xff8800, 1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 100, 100, 300, 300, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(c, w);
  // A round trip: the window is mapped before anyone is told of it.
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  std::printf("window %u\n", w);
  std::fflush(stdout);
  for (;;) pause();
}
