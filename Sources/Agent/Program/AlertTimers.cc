#include "AlertTimers.h"

#include <QApplication>

namespace corvane {

AlertTimers::AlertTimers(const AlertSetup& setup, bool autoHide, bool beep,
                         std::function<void()> onAutoHide, QObject* parent)
    : QObject(parent) {
  if (autoHide) {
    autoHide_.setSingleShot(true);
    autoHide_.setTimerType(Qt::PreciseTimer);
    autoHide_.setInterval(setup.autoHideMilliseconds);
    connect(&autoHide_, &QTimer::timeout, this, std::move(onAutoHide));
    autoHide_.start();
  }
  if (beep) {
    beep_.setTimerType(Qt::PreciseTimer);
    beep_.setInterval(setup.beepMilliseconds);
    connect(&beep_, &QTimer::timeout, this, [sound = setup.beep] {
      if (sound) {
        sound();
      } else {
        QApplication::beep();
      }
    });
    beep_.start();
  }
}

}  // namespace corvane
