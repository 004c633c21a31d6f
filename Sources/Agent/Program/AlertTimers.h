// The two timers a warning may run while it is on screen: a beep every 3
// seconds (the first after 3) and the auto-hide after 60 seconds.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace corvane {

class FullScreenCover;

// What the program's warnings and covers are built with. The program takes
// the defaults; a test shortens the times, counts the beeps and acts on each
// cover once it is up.
struct AlertSetup {
  int auto_hide_milliseconds = 60 * 1000;
  int beep_milliseconds = 3 * 1000;
  std::function<void()> beep;  // null: the system beep (the X bell)
  std::function<void(FullScreenCover*)> on_cover_shown;
};

class AlertTimers : public QObject {
  Q_OBJECT
 public:
  // `onAutoHide` runs once when the auto-hide timer fires. Both timers stop
  // with this object.
  AlertTimers(const AlertSetup& setup, bool auto_hide, bool beep, std::function<void()> on_auto_hide,
              QObject* parent = nullptr);

  bool HasAutoHideTimer() const { return auto_hide_.isActive(); }
  bool HasBeepTimer() const { return beep_.isActive(); }

 private:
  QTimer auto_hide_;
  QTimer beep_;
};

}  // namespace corvane
