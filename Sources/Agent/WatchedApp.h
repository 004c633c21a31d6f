// The agent's record of one watched process and the ordered list of them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AppSettings.h"

namespace corvane {

// The no-credit marker: a record found without credit while "Last Minute
// Credit" is off. The tick reacts to it, and to 5, 1 and 0, exactly.
inline constexpr int32_t kNoCreditMarker = 12345;

struct WatchedApp {
  AppSettings settings;            // as last read from the server
  int32_t pid = 0;                 // loginPid for the computer, 0 for global settings
  std::string identifier;          // the settings key of the application
  std::optional<std::string> display_name;
  uint32_t seconds_in_minute = 0;    // passes since the last minute boundary
  bool warned = false;             // a last-minute, no-credit or curfew warning was shown
};

// Records in the order they were added. Shared ownership lets a pass (and a
// window drawing a record) keep a record alive while a nested event loop
// removes it from the list: the pass then sees it is gone and never touches
// it again, and nothing is freed under anyone's feet.
using WatchedAppRef = std::shared_ptr<WatchedApp>;
using WatchedAppList = std::vector<WatchedAppRef>;

// The first record whose identifier equals `identifier` exactly, or null.
WatchedApp* FindWatchedApp(const WatchedAppList& list, std::string_view identifier);
// Removes every record with `pid`; returns how many.
int RemoveWatchedAppsByPid(int32_t pid, WatchedAppList* list);
// Removes `record` itself (not its pid's other records); false when it was
// not in the list.
bool RemoveWatchedApp(const WatchedApp* record, WatchedAppList* list);
// Whether `record` is still in the list.
bool ContainsWatchedApp(const WatchedAppList& list, const WatchedApp* record);

}  // namespace corvane
