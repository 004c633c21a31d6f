// Reads the window manager's client list on the program's event loop
// whenever the display says it changed, and hands it to the logic's
// ClientListWatch. Without a display of X11 there is nothing to read and
// nothing is watched per application; the session itself is watched all the
// same.
#pragma once

#include <QObject>

#include <vector>

#include "AgentState.h"
#include "ClientListWatch.h"

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

  ApplicationWindows* windows_;
  ClientListWatch watch_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvane
