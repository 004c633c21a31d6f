// Launches and terminations of applications as changes of the window
// manager's client list: one entry per process, compared with the previous
// list.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "Platform/X11/ApplicationWindows.h"

namespace corvane {

class ApplicationWatch {
 public:
  using PidTest = std::function<bool(int32_t pid)>;

  // `watchable` tells which processes count (the session user's); null takes
  // every one. `alive` tells whether a process still runs: a process whose
  // windows all left the list (hidden to a tray, say) but that runs on is
  // still the same application, reported terminated only when it ends, so
  // hiding and showing a window never makes a new record with a new last
  // minute. Null: leaving the list is terminating.
  explicit ApplicationWatch(PidTest watchable = nullptr, PidTest alive = nullptr)
      : watchable_(std::move(watchable)), alive_(std::move(alive)) {}

  struct Changes {
    std::vector<ClientWindow> launched;  // the first window of each new process
    std::vector<int32_t> terminated;
  };

  // Call with the current client list whenever it may have changed (once a
  // second too, so processes that left the list are noticed when they end).
  // The first call reports every process as launched.
  Changes Update(const std::vector<ClientWindow>& windows);

 private:
  PidTest watchable_;
  PidTest alive_;
  std::set<int32_t> known_;
};

}  // namespace corvane
