#include "ClientListWatch.h"

#include "ApplicationWatching.h"
#include "DesktopEntries.h"

namespace corvane {

ClientListChanges::Changes ClientListChanges::Update(const std::vector<ClientWindow>& windows) {
  Changes changes;
  std::set<int32_t> listed;
  for (const ClientWindow& w : windows) {
    if (w.pid <= 0 || listed.count(w.pid) != 0) continue;
    if (watchable_ && !watchable_(w.pid)) continue;
    listed.insert(w.pid);
    if (known_.insert(w.pid).second) changes.launched.push_back(w);
  }
  for (auto it = known_.begin(); it != known_.end();) {
    bool gone = listed.count(*it) == 0 && (!alive_ || !alive_(*it));
    if (gone) {
      changes.terminated.push_back(*it);
      it = known_.erase(it);
    } else {
      ++it;
    }
  }
  return changes;
}

ClientListWatch::ClientListWatch(AgentState& state)
    : state_(state),
      // A window pointing at someone else's process is not watched.
      changes_([&state](int32_t pid) { return state.system->IsSessionUsersProcess(pid); },
               [&state](int32_t pid) { return state.system->IsProcessAlive(pid); }) {}

std::vector<RunningApplication> ClientListWatch::Start(const std::vector<ClientWindow>& windows) {
  catalogue_.Load(LoadDesktopEntries(), ProgramSearchPath());
  return Identify(changes_.Update(windows).launched);
}

void ClientListWatch::Update(const std::vector<ClientWindow>& windows) {
  const ClientListChanges::Changes changes = changes_.Update(windows);
  for (int32_t pid : changes.terminated) HandleApplicationTerminated(state_, pid);
  if (changes.launched.empty()) return;
  // An application installed during the session is known by its entry.
  catalogue_.Load(LoadDesktopEntries(), ProgramSearchPath());
  for (const RunningApplication& app : Identify(changes.launched)) {
    HandleApplicationLaunched(state_, app);
  }
}

std::vector<RunningApplication> ClientListWatch::Identify(const std::vector<ClientWindow>& launched) {
  std::vector<RunningApplication> apps;
  for (const ClientWindow& window : launched) {
    ApplicationIdentity identity;
    WindowHints hints{window.wm_instance, window.wm_class, window.gtk_application_id,
                      window.desktop_part};
    // Only processes the agent keeps no record of anyway: the agent's own
    // windows are not an application, and reading their files costs.
    if (window.pid == state_.login_pid ||
        (state_.system != nullptr && window.pid == state_.system->OwnPid())) {
      continue;
    }
    if (!catalogue_.Identify(window.pid, hints, &identity)) continue;
    RunningApplication app{window.pid, identity.keys.front(), identity.names.front()};
    for (size_t i = 1; i < identity.keys.size(); ++i) {
      app.fallbacks.push_back({identity.keys[i], identity.names[i]});
    }
    apps.push_back(std::move(app));
  }
  return apps;
}

}  // namespace corvane
