// The agent's one way of taking over the screen, for the blocking message,
// the lock screen and the full-screen credit warning: a black window over
// the whole primary screen with a message and "Click to continue" under it,
// every other screen blanked, keyboard and pointer held by the agent.
#pragma once

#include <QColor>
#include <QEventLoop>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "AlertTimers.h"

namespace corvane {

class CoverGuard;

// How a cover draws its two lines.
struct CoverLook {
  QColor ink;
  int minimum_pixel_size;
  int lines_per_height;  // the font's pixel size is the height over this
  // The lines sit at a third and two thirds of the last row's position
  // rather than of the height: a pixel apart on most screens, kept so that
  // no warning moves on anyone's screen.
  bool thirds_of_last_row;
};

// The blocking message and the lock screen: red.
inline const CoverLook kBlockingMessageLook{QColor::fromRgbF(1.0, 0.2, 0.2, 1.0), 20, 20, false};
// The credit warning: blue.
inline const CoverLook kCreditWarningLook{QColor::fromRgbF(0.2f, 0.2f, 1.0f, 1.0f), 18, 24, true};

class FullScreenCover : public QWidget {
  Q_OBJECT

 public:
  // `text` is asked again at every redraw (a warning follows its record).
  // With `autoHide` the cover ends by itself after the set-up's time; with
  // `beep` it beeps at the set-up's interval.
  FullScreenCover(const CoverLook& look, std::function<QString()> text, const AlertSetup& setup,
                  bool auto_hide, bool beep);
  ~FullScreenCover() override;

  // Shows the cover, tells the set-up's onCoverShown, and returns once a
  // click, End() or the auto-hide ends it. Covers may nest: one opened while
  // another is up covers it, holds the input and ends first.
  void Run();
  // Ends Run, as a click does.
  void End();

  QString Text() const { return text_(); }
  bool HasAutoHideTimer() const { return timers_ != nullptr && timers_->HasAutoHideTimer(); }
  bool HasBeepTimer() const { return timers_ != nullptr && timers_->HasBeepTimer(); }
  // Both the keyboard and the pointer are held by this window.
  bool HoldsInput() const;
  // How often the window had to be put back over the display.
  int restores() const;

  // The covers up now, innermost last.
  static const std::vector<FullScreenCover*>& OpenCovers();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  CoverLook look_;
  std::function<QString()> text_;
  AlertSetup setup_;
  bool auto_hide_;
  bool beep_;
  QEventLoop loop_;
  std::unique_ptr<AlertTimers> timers_;
  std::vector<std::unique_ptr<QWidget>> blanks_;  // one plain black window per other screen
  std::unique_ptr<CoverGuard> guard_;
};

}  // namespace corvane
