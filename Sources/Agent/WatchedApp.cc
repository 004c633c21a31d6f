#include "WatchedApp.h"

#include <algorithm>

namespace corvane {

WatchedApp* FindWatchedApp(const WatchedAppList& list, std::string_view identifier) {
  for (const auto& record : list) {
    if (record->identifier == identifier) return record.get();
  }
  return nullptr;
}

int RemoveWatchedAppsByPid(int32_t pid, WatchedAppList* list) {
  auto removed = std::remove_if(list->begin(), list->end(),
                                [pid](const WatchedAppRef& r) { return r->pid == pid; });
  int count = static_cast<int>(list->end() - removed);
  list->erase(removed, list->end());
  return count;
}

bool RemoveWatchedApp(const WatchedApp* record, WatchedAppList* list) {
  auto it = std::find_if(list->begin(), list->end(),
                         [record](const WatchedAppRef& r) { return r.get() == record; });
  if (it == list->end()) return false;
  list->erase(it);
  return true;
}

bool ContainsWatchedApp(const WatchedAppList& list, const WatchedApp* record) {
  return std::any_of(list.begin(), list.end(),
                     [record](const WatchedAppRef& r) { return r.get() == record; });
}

}  // namespace corvane
