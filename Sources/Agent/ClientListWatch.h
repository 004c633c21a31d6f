// Launches and terminations of the session's applications, as changes of the
// window manager's client list, identified and handed to the records
// (ApplicationWatching). The program reads the list and calls in whenever it
// may have changed; nothing here waits on the display.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "AgentState.h"
#include "ApplicationIdentity.h"
#include "Platform/X11/ApplicationWindows.h"

namespace corvane {

// The client list compared with the previous one: one entry per process.
class ClientListChanges {
 public:
  using PidTest = std::function<bool(int32_t pid)>;

  // `watchable` tells which processes count (the session user's); null takes
  // every one. `alive` tells whether a process still runs: a process whose
  // windows all left the list (hidden to a tray, say) but that runs on is
  // still the same application, reported terminated only when it ends, so
  // hiding and showing a window never makes a new record with a new last
  // minute. Null: leaving the list is terminating.
  explicit ClientListChanges(PidTest watchable = nullptr, PidTest alive = nullptr)
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

// The changes applied to the agent's records: each new process identified by
// its window and program, each ended one's records removed. Only the session
// user's own processes count (AgentSystem::IsSessionUsersProcess).
class ClientListWatch {
 public:
  explicit ClientListWatch(AgentState& state);

  // The applications in the first list, identified, for the start-up
  // enumeration (EnumerateRunningApplications); nothing is applied.
  std::vector<RunningApplication> Start(const std::vector<ClientWindow>& windows);
  // A later list: launches and terminations go to the records.
  void Update(const std::vector<ClientWindow>& windows);

 private:
  std::vector<RunningApplication> Identify(const std::vector<ClientWindow>& launched);

  AgentState& state_;
  ClientListChanges changes_;
  // Kept for the agent's life: each program file is hashed once.
  ApplicationCatalogue catalogue_;
};

}  // namespace corvane
