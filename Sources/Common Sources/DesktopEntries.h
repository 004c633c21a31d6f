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
  std::string icon;              // Icon: a theme icon name or an absolute file
};

// Reads the [Desktop Entry] group of one file. False for anything but a
// visible application entry (Type=Application, not Hidden).
bool ParseDesktopEntry(std::string_view text, std::string_view language, DesktopEntry* out);

// Every entry below "applications/" of XDG_DATA_HOME and XDG_DATA_DIRS; of
// two entries with one ID, the one of the earlier folder counts. Entries of
// the user's own folder (XDG_DATA_HOME) come last.
std::vector<DesktopEntry> LoadDesktopEntries();

}  // namespace corvane
