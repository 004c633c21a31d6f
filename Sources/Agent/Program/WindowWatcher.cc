#include "WindowWatcher.h"

#include <QSocketNotifier>

#include "ApplicationIdentity.h"
#include "ApplicationWatching.h"
#include "Platform/X11/ApplicationWindows.h"
#include "Platform/Sessions/LoginSession.h"
#include "Platform/System/ProcessIdentity.h"

namespace corvane {

WindowWatcher::WindowWatcher(AgentState& state, ApplicationWindows* windows)
    : state_(state),
      windows_(windows),
      // Only the session user's own processes are its applications; a
      // window pointing at someone else's process is not watched.
      watch_([](int32_t pid) { return ProcessUserID(pid) == CurrentUserID(); },
             [&state](int32_t pid) { return state.system->IsProcessAlive(pid); }) {}

WindowWatcher::~WindowWatcher() = default;

std::vector<RunningApplication> WindowWatcher::Start() {
  if (windows_ == nullptr) return {};
  catalogue_.Load(LoadDesktopEntries(), ProgramSearchPath());
  windows_->DrainEvents();
  std::vector<RunningApplication> running = Identify(watch_.Update(windows_->ClientWindows()).launched);
  notifier_ = new QSocketNotifier(windows_->EventDescriptor(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &WindowWatcher::HandleEvents);
  return running;
}

void WindowWatcher::Poll() {
  if (windows_ == nullptr || notifier_ == nullptr) return;
  Apply(watch_.Update(windows_->ClientWindows()));
}

void WindowWatcher::HandleEvents() {
  if (!windows_->DrainEvents()) return;
  Apply(watch_.Update(windows_->ClientWindows()));
}

void WindowWatcher::Apply(const ApplicationWatch::Changes& changes) {
  for (int32_t pid : changes.terminated) HandleApplicationTerminated(state_, pid);
  if (changes.launched.empty()) return;
  // An application installed during the session is known by its entry.
  catalogue_.Load(LoadDesktopEntries(), ProgramSearchPath());
  for (const RunningApplication& app : Identify(changes.launched)) {
    HandleApplicationLaunched(state_, app);
  }
}

std::vector<RunningApplication> WindowWatcher::Identify(
    const std::vector<ClientWindow>& launched) {
  std::vector<RunningApplication> apps;
  for (const ClientWindow& window : launched) {
    ApplicationIdentity identity;
    WindowHints hints{window.wm_instance, window.wm_class, window.gtk_application_id,
                      window.desktop_part};
    // Only processes the agent keeps no record of anyway: the agent's own
    // windows are not an application, and reading their files costs.
    if (window.pid == state_.loginPid ||
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
