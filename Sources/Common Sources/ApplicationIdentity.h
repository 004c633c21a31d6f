// Which application a process is: the desktop-entry ID that keys its
// settings, and the name a person calls it. Shared by the agent's watching
// and by the front application of the statistics tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DesktopEntries.h"

namespace corvane {

// What a window says of its program; any field may be empty.
struct WindowHints {
  std::string wm_instance;
  std::string wm_class;
  std::string gtk_application_id;
};

struct ApplicationIdentity {
  std::string identifier;  // the entry's ID, or "com.quarlant.fakeID.<executable file name>"
  std::string name;        // entry Name, else WM_CLASS class, else executable file name
};

// Matches, first hit wins: Flatpak/Snap application ID, _GTK_APPLICATION_ID,
// WM_CLASS against StartupWMClass or the entry's file name, the executable
// against TryExec/Exec. False when the process's executable cannot be read
// (gone, or another user's): such a process is not watched.
bool IdentifyProcess(int32_t pid, const WindowHints& hints,
                     const std::vector<DesktopEntry>& entries, ApplicationIdentity* out);

}  // namespace corvane
