// The full-screen credit warning: black over the primary screen, the warning
// in blue at one third of its height and "Click to continue" at two thirds.
// Unlike the blocking message it leaves the tick timer alone.
#pragma once

#include <QWidget>

#include "AgentState.h"
#include "WatchedApp.h"

namespace corvane {

class CreditWarningWindow : public QWidget {
  Q_OBJECT
 public:
  // `record` must outlive the window; the text is worked out from it again
  // at every redraw.
  explicit CreditWarningWindow(const WatchedApp& record, QWidget* parent = nullptr);

  // Shows the warning over the primary screen with the other screens
  // blanked and returns after a click or, with "Auto Hide Alerts", after 60
  // seconds; beeps every 3 seconds with "Play Alerts Sound".
  static void Run(const AgentState& state, const WatchedApp& record);

  // The message as drawn now.
  QString MessageText() const;

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  const WatchedApp& record_;
};

}  // namespace corvane
