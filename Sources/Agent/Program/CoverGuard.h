// Keeps one of the agent's full-screen windows (a warning, a blocking
// message, the lock screen) over the display while it is up, whatever the
// child does to it: each round it is mapped again when it was unmapped or
// minimised, raised when another program's window got above it, and its
// keyboard and pointer grabs are taken again once lost (they go with the
// window's mapping) or while another client keeps them from it.
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QWidget;

namespace corvane {

class CoverWindowDisplay;

class CoverGuard : public QObject {
  Q_OBJECT

 public:
  // Well inside the 200 ms a cover may be gone.
  static constexpr int kRoundMilliseconds = 100;

  // `cover` is shown already; `blanks` (the other screens' black windows)
  // are kept up with it. All must outlive the guard.
  CoverGuard(QWidget* cover, std::vector<QWidget*> blanks);
  ~CoverGuard() override;

  // Of nested covers only the innermost guards; the others let go of the
  // input for it and take it back when it ends.
  void SetInCharge(bool in_charge);
  bool HoldsInput() const { return keyboard_held_ && pointer_held_; }
  // How often the cover had to be put back.
  int restores() const { return restores_; }
  void Round();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Release();

  QWidget* cover_;
  std::vector<QWidget*> blanks_;
  std::unique_ptr<CoverWindowDisplay> display_;  // null without X11
  QTimer timer_;
  bool in_charge_ = true;
  bool keyboard_held_ = false;
  bool pointer_held_ = false;
  int restores_ = 0;
};

}  // namespace corvane
