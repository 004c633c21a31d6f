// Launches and terminations of the session's applications, as changes of the
// window manager's client list read on the program's event loop. Without a
// display of X11 there is nothing to read and nothing is watched per
// application; the session itself is watched all the same.
#pragma once

#include <QObject>

#include <memory>
#include <vector>

#include "AgentState.h"
#include "ApplicationWatch.h"
#include "ApplicationIdentity.h"

class QSocketNotifier;

namespace corvane {

class ApplicationWindows;

class WindowWatcher : public QObject {
  Q_OBJECT

 public:
  // `windows` may be null; not owned.
  WindowWatcher(AgentState& state, ApplicationWindows* windows);
  ~WindowWatcher() override;

  // The applications running now, identified, for the start-up enumeration;
  // from then on, changes are handled as they come.
  std::vector<RunningApplication> Start();
  // Notices processes that left the list earlier and have ended since.
  void Poll();

 private:
  void HandleEvents();
  void Apply(const ApplicationWatch::Changes& changes);
  std::vector<RunningApplication> Identify(const std::vector<ClientWindow>& launched);

  AgentState& state_;
  ApplicationWindows* windows_;
  ApplicationWatch watch_;
  // Kept for the agent's life: each program file is hashed once.
  ApplicationCatalogue catalogue_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvane
