#include "TickTimer.h"

#include <algorithm>
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
  ++starts_;
  timer_.stop();
  first_.stop();
  if (pauses_ > 0 || !session_active_) return;
  int delay_ms = static_cast<int>(std::lround(first_delay_seconds * 1000.0));
  next_due_ = Clock::now() + std::chrono::milliseconds(delay_ms);
  first_.start(delay_ms);
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
  auto late = Clock::now() - next_due_;
  int passes = 1;
  if (late >= std::chrono::seconds(1)) {
    auto whole = std::chrono::duration_cast<std::chrono::seconds>(late).count();
    passes += static_cast<int>(std::min<long long>(whole, kMaxLatePasses));
    if (whole > kMaxLatePasses) next_due_ = Clock::now() - std::chrono::seconds(passes - 1);
  }
  unsigned starts = starts_;
  for (int i = 0; i < passes; ++i) {
    on_tick_();
    // A window took the screen meanwhile, or the session left: the timer
    // was re-armed, and the time behind it is not to be counted.
    if (starts_ != starts || pauses_ > 0 || !session_active_) break;
    next_due_ += std::chrono::seconds(1);
  }
  firing_ = false;
}

}  // namespace corvane
