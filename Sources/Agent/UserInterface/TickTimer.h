// The agent's one-second timer, shared by the program (which drives the tick
// with it and suspends it while the session is in the background) and the
// blocking windows (which pause it while they are up).
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace corvane {

class TickTimer : public QObject {
  Q_OBJECT

 public:
  explicit TickTimer(std::function<void()> on_tick, QObject* parent = nullptr);

  // First fire `first_delay_seconds` from now, then every second.
  void Start(double first_delay_seconds = 1.0);
  // No fire until Start again ("never").
  void Pause();
  bool IsRunning() const { return first_.isActive() || timer_.isActive(); }

 private:
  void Fire();

  std::function<void()> on_tick_;
  QTimer first_;  // the one-shot first fire, whatever its delay
  QTimer timer_;  // then every second
  bool firing_ = false;
};

}  // namespace corvane
