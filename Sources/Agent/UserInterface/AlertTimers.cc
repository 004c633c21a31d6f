#include "AlertTimers.h"

#include <QApplication>

namespace corvane {
namespace {

AlertTimings& Timings() {
  static AlertTimings timings;
  return timings;
}

std::function<void()>& BeepHook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

const AlertTimings& CurrentAlertTimings() { return Timings(); }
void SetAlertTimingsForTesting(const AlertTimings& timings) { Timings() = timings; }
void SetAlertBeepForTesting(std::function<void()> beep) { BeepHook() = std::move(beep); }

void SoundAlertBeep() {
  if (BeepHook()) {
    BeepHook()();
  } else {
    QApplication::beep();
  }
}

AlertTimers::AlertTimers(bool autoHide, bool beep, std::function<void()> onAutoHide,
                         QObject* parent)
    : QObject(parent) {
  if (autoHide) {
    autoHide_.setSingleShot(true);
    autoHide_.setTimerType(Qt::PreciseTimer);
    autoHide_.setInterval(CurrentAlertTimings().autoHideMilliseconds);
    connect(&autoHide_, &QTimer::timeout, this, std::move(onAutoHide));
    autoHide_.start();
  }
  if (beep) {
    beep_.setTimerType(Qt::PreciseTimer);
    beep_.setInterval(CurrentAlertTimings().beepMilliseconds);
    connect(&beep_, &QTimer::timeout, this, &SoundAlertBeep);
    beep_.start();
  }
}

}  // namespace corvane
