// The window the user works in, as the window manager reports it.
#pragma once

#include <optional>
#include <string>

namespace corvane {

struct ActiveWindowOwner {
  int pid = 0;  // 0 when neither the window nor the display server names one
  std::string wm_instance;         // WM_CLASS, first part
  std::string wm_class;            // WM_CLASS, second part
  std::string gtk_application_id;  // _GTK_APPLICATION_ID
};

// The active window of the display named by DISPLAY; none without a display,
// a window manager that tracks the active window, or an active window.
std::optional<ActiveWindowOwner> FindActiveWindowOwner();

}  // namespace corvane
