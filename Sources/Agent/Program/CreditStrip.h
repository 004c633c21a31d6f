// The credit strip: a band across the top of the primary screen with the
// front application's (or the computer's) credit, shown for four passes of
// the tick and then faded out. It never takes the focus and lets every
// click through to what lies under it.
#pragma once

#include <QPropertyAnimation>
#include <QWidget>
#include <cstdint>

#include "AgentState.h"
#include "CreditStripText.h"

namespace corvane {

class CreditStrip : public QWidget {
  Q_OBJECT
 public:
  // The application in front comes from state.system.
  explicit CreditStrip(AgentState& state);

  // Shows the hidden strip for four passes; a visible one is only redrawn.
  void ShowCreditStrip();
  // Redraws, visible or not (the front application changed).
  void RefreshCreditStrip();
  // Last step of every tick pass: counts down and fades out at 0.
  void TickCreditStrip();

  bool IsStripShown() const { return lifetime_.visible(); }
  int32_t stripCountdown() const { return lifetime_.stripCountdown(); }
  QString Text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PlaceOnPrimaryScreen();

  AgentState& state_;
  CreditStripLifetime lifetime_;
  int32_t shown_pid_ = 0;  // whose record the strip showed last
  QString text_;
  QPropertyAnimation fade_;
};

}  // namespace corvane
