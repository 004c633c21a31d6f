#include "TickTimer.h"

#include <cmath>

namespace corvane {

TickTimer::TickTimer(std::function<void()> on_tick, QObject* parent)
    : QObject(parent), on_tick_(std::move(on_tick)) {
  first_.setSingleShot(true);
  first_.setTimerType(Qt::PreciseTimer);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(1000);
  connect(&first_, &QTimer::timeout, this, [this] {
    timer_.start();
    Fire();
  });
  connect(&timer_, &QTimer::timeout, this, &TickTimer::Fire);
}

void TickTimer::Start(double first_delay_seconds) {
  timer_.stop();
  first_.stop();
  if (pauses_ > 0 || !session_active_) return;
  first_.start(static_cast<int>(std::lround(first_delay_seconds * 1000.0)));
}

void TickTimer::Pause() {
  ++pauses_;
  first_.stop();
  timer_.stop();
}

void TickTimer::Resume(double first_delay_seconds) {
  if (pauses_ > 0) --pauses_;
  Start(first_delay_seconds);
}

void TickTimer::SetSessionActive(bool active) {
  if (active == session_active_) return;
  session_active_ = active;
  Start(1.0);
}

void TickTimer::Fire() {
  // A nested event loop inside the tick (a warning, a blocking message) lets
  // this timer's event through again; the pass in progress must finish
  // before the next one begins.
  if (firing_) return;
  firing_ = true;
  on_tick_();
  firing_ = false;
}

}  // namespace corvane
