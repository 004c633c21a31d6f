#include "AppNames.h"

#include <strings.h>

#include <algorithm>
#include <set>

#include "AppSettings.h"
#include "Utf8.h"

namespace corvane::admin {

AppTitle TitleOfApp(const std::string& app, const std::vector<DesktopEntry>& entries) {
  if (app == kComputerAppKey) return {"Admin.App.Computer", true, "computer"};
  if (app == kGlobalSettingsAppKey) return {"Admin.App.Account", true, "drive-harddisk"};
  for (const DesktopEntry& e : entries) {
    if (e.id == app) return {e.name.empty() ? app : e.name, false, e.icon};
  }
  return {app, false, ""};
}

std::vector<DesktopEntry> ChoosableEntries(const std::vector<DesktopEntry>& entries,
                                           const std::vector<std::string>& watched) {
  std::vector<DesktopEntry> out;
  std::set<std::string> seen(watched.begin(), watched.end());
  for (const DesktopEntry& e : entries) {
    if (!e.name.empty() && seen.insert(e.id).second) out.push_back(e);
  }
  std::stable_sort(out.begin(), out.end(), [](const DesktopEntry& a, const DesktopEntry& b) {
    return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  return out;
}

bool IsUsableAppKey(const std::string& id) {
  if (id.empty() || id.size() > 255 || !IsValidUtf8(id)) return false;
  if (id.front() == ' ' || id.back() == ' ') return false;
  return std::none_of(id.begin(), id.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

}  // namespace corvane::admin
