// Desktop entries (freedesktop Desktop Entry Specification): the IDs that
// name applications on this platform, and what lets a running program be
// matched to one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct DesktopEntry {
  std::string id;  // file path below "applications/", '/' turned to '-', without ".desktop"
  std::string name;              // Name, localised when a translation exists
  std::string startup_wm_class;  // StartupWMClass
  std::string try_exec;          // TryExec
  std::string exec_program;      // the program of the Exec line
  std::vector<std::string> exec_arguments;  // its further words, field codes (%f, %U) left out
  bool users_own = false;        // from the user's own folder, which the user can write
  std::string icon;              // Icon: a theme icon name or an absolute file
};

// Reads the [Desktop Entry] group of one file. False for anything but a
// visible application entry (Type=Application, not Hidden).
bool ParseDesktopEntry(std::string_view text, std::string_view language, DesktopEntry* out);

// Every entry below "applications/" of XDG_DATA_HOME and XDG_DATA_DIRS; of
// two entries with one ID, the one of the earlier folder counts, except that
// an installed entry's ID is never taken over by the user's own folder
// (XDG_DATA_HOME), whose entries come last. Within each part, by ID.
std::vector<DesktopEntry> LoadDesktopEntries();

}  // namespace corvane
