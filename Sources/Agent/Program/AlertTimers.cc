#include "AlertTimers.h"

#include <QApplication>

namespace corvane {

AlertTimers::AlertTimers(const AlertSetup& setup, bool auto_hide, bool beep,
                         std::function<void()> on_auto_hide, QObject* parent)
    : QObject(parent) {
  if (auto_hide) {
    auto_hide_.setSingleShot(true);
    auto_hide_.setTimerType(Qt::PreciseTimer);
    auto_hide_.setInterval(setup.auto_hide_milliseconds);
    connect(&auto_hide_, &QTimer::timeout, this, std::move(on_auto_hide));
    auto_hide_.start();
  }
  if (beep) {
    beep_.setTimerType(Qt::PreciseTimer);
    beep_.setInterval(setup.beep_milliseconds);
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
