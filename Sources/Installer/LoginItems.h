// Login items are XDG autostart entries: one desktop entry file each, in
// file-name order, in the system folder for all users or in the user's own
// folder. An item's path is the program its Exec line starts. Every
// operation reads the folder afresh.
#pragma once

#include <optional>
#include <string>

namespace corvane {

enum class LoginItemScope { kAllUsers, kCurrentUser };

// The number of entries; 0 when the folder does not exist.
int CountLoginItems(LoginItemScope scope);

// The program of the entry at `index`; none for a negative or too large
// index, an entry without a program, or a path that is not ASCII or is
// longer than 1,024 characters.
std::optional<std::string> CopyLoginItemPath(LoginItemScope scope, int index);

// Deletes the entry at `index`; true when it is gone.
bool RemoveLoginItemAt(LoginItemScope scope, int index);

// Deletes every entry whose path equals `path` ignoring letter case.
void RemoveLoginItemsWithPath(LoginItemScope scope, const std::string& path);

}  // namespace corvane
