// How the window names an application key, and the applications a parent
// may pick from: the installed desktop entries.
#pragma once

#include <string>
#include <vector>

#include "DesktopEntries.h"

namespace corvane::admin {

struct AppTitle {
  std::string text;      // a catalogue key for the computer and the account
  bool localize = false;  // `text` is a catalogue key
  std::string icon;      // a desktop entry's Icon, "" when none
};

// "Admin.App.Computer", "Admin.App.Account", the entry's Name for a desktop
// ID, or the key itself (another machine's application).
AppTitle TitleOfApp(const std::string& app, const std::vector<DesktopEntry>& entries);

// The entries not yet watched, by name (letter case ignored), without
// duplicates of one ID.
std::vector<DesktopEntry> ChoosableEntries(const std::vector<DesktopEntry>& entries,
                                           const std::vector<std::string>& watched);

// Whether `id` may be sent as an application key: non-empty, printable
// UTF-8 without blanks at either end, at most 255 bytes.
bool IsUsableAppKey(const std::string& id);

}  // namespace corvane::admin
