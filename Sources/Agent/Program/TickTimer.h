// The agent's one-second timer, shared by the program (which drives the tick
// with it and suspends it while the session is in the background) and the
// blocking windows (which pause it while they are up).
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace corvane {

class TickTimer : public QObject {
  Q_OBJECT

 public:
  explicit TickTimer(std::function<void()> on_tick, QObject* parent = nullptr);

  // First fire `first_delay_seconds` from now, then every second (unless
  // paused or suspended).
  void Start(double first_delay_seconds = 1.0);
  // A window that takes the screen: no fire until every window that paused
  // the timer has resumed it; the last one re-arms it `first_delay_seconds`
  // from then.
  void Pause();
  void Resume(double first_delay_seconds);
  // The session went to the background (false) or came back (true, next
  // fire one second later).
  void SetSessionActive(bool active);
  bool IsRunning() const { return first_.isActive() || timer_.isActive(); }

 private:
  void Fire();

  using Clock = std::chrono::steady_clock;
  // Passes the loop could not run on time (it waited on the network) are
  // run late, at most this many at once: a blocked loop must not slow the
  // countdown, and a machine back from sleep must not charge for it.
  static constexpr int kMaxLatePasses = 60;

  std::function<void()> on_tick_;
  QTimer first_;  // the one-shot first fire, whatever its delay
  QTimer timer_;  // then every second
  bool firing_ = false;
  int pauses_ = 0;
  bool session_active_ = true;
  Clock::time_point next_due_{};  // when the next pass is due
  unsigned starts_ = 0;           // Start calls, to see one happen inside a pass
};

}  // namespace corvane
