// The two timers a warning may run while it is on screen: a beep every 3
// seconds (the first after 3) and the auto-hide after 60 seconds.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace corvane {

struct AlertTimings {
  int autoHideMilliseconds = 60 * 1000;
  int beepMilliseconds = 3 * 1000;
};

// The timings in force; tests shorten them, nothing else does.
const AlertTimings& CurrentAlertTimings();
void SetAlertTimingsForTesting(const AlertTimings& timings);
// Replaces the system beep (the X bell) so a test can count beeps; null
// restores it.
void SetAlertBeepForTesting(std::function<void()> beep);
// One system beep.
void SoundAlertBeep();

class AlertTimers : public QObject {
  Q_OBJECT
 public:
  // `onAutoHide` runs once when the auto-hide timer fires. Both timers stop
  // with this object.
  AlertTimers(bool autoHide, bool beep, std::function<void()> onAutoHide,
              QObject* parent = nullptr);

 private:
  QTimer autoHide_;
  QTimer beep_;
};

}  // namespace corvane
