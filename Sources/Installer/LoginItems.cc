#include "LoginItems.h"

#include <algorithm>
#include <filesystem>
#include <strings.h>
#include <vector>

#include "DesktopEntry.h"
#include "Paths.h"
#include "Platform/System/FileSystem.h"
#include "Platform/System/HomeFolder.h"
#include "TreeCopy.h"

namespace corvane {
namespace {

// Autostart entries are a few hundred bytes; anything far larger is not one.
constexpr size_t kMaxEntryBytes = 64 * 1024;
constexpr size_t kMaxItemPath = 1024;

std::optional<std::string> AutostartFolder(LoginItemScope scope) {
  switch (scope) {
    case LoginItemScope::kAllUsers:
      return SystemPath(kAllUsersAutostartFolder);
    case LoginItemScope::kCurrentUser: {
      std::string home = UserHomeFolder();
      if (home.empty() || home.front() != '/') return std::nullopt;
      return SystemPath(home + "/.config/autostart");
    }
  }
  return std::nullopt;
}

std::vector<std::string> EntryFiles(LoginItemScope scope) {
  std::vector<std::string> files;
  auto folder = AutostartFolder(scope);
  if (!folder) return files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() > 8 && name.ends_with(".desktop")) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

int CountLoginItems(LoginItemScope scope) { return static_cast<int>(EntryFiles(scope).size()); }

std::optional<std::string> CopyLoginItemPath(LoginItemScope scope, int index) {
  auto files = EntryFiles(scope);
  if (index < 0 || static_cast<size_t>(index) >= files.size()) return std::nullopt;
  std::string text;
  if (!ReadWholeFile(files[static_cast<size_t>(index)], kMaxEntryBytes, &text).ok()) {
    return std::nullopt;
  }
  auto path = DesktopEntryProgram(text);
  if (!path || path->size() > kMaxItemPath || !IsAscii(*path)) return std::nullopt;
  return path;
}

bool RemoveLoginItemAt(LoginItemScope scope, int index) {
  auto files = EntryFiles(scope);
  if (index < 0 || static_cast<size_t>(index) >= files.size()) return false;
  return DeleteObject(files[static_cast<size_t>(index)]) == 0;
}

void RemoveLoginItemsWithPath(LoginItemScope scope, const std::string& path) {
  for (int index = 0; index < CountLoginItems(scope);) {
    auto item = CopyLoginItemPath(scope, index);
    // After a removal the next entry has moved into this index.
    if (item && ::strcasecmp(item->c_str(), path.c_str()) == 0 && RemoveLoginItemAt(scope, index)) {
      continue;
    }
    ++index;
  }
}

}  // namespace corvane
