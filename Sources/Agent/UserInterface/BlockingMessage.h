// The agent's one way of taking over the screen: a black window over the
// whole primary screen with one message in red and "Click to continue" under
// it, every other screen blanked, keyboard and pointer held by the agent. It
// is also the lock screen.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;
class QTimer;

namespace corvane {

class CoverGuard;
class TickTimer;

struct BlockingMessageOptions {
  bool withTimers = false;
  bool autoHideAlerts = false;   // with timers: ends by itself after 60 s
  bool playAlertsSound = false;  // with timers: a beep every 3 s
};

inline constexpr int kAutoHideMilliseconds = 60 * 1000;
inline constexpr int kBeepMilliseconds = 3 * 1000;

// The window over the primary screen. Shown only through ShowBlockingMessage.
class BlockingMessageWindow : public QWidget {
  Q_OBJECT

 public:
  BlockingMessageWindow(const QString& message, const BlockingMessageOptions& options,
                        QEventLoop* loop);
  ~BlockingMessageWindow() override;

  const QString& message() const { return message_; }
  bool HasAutoHideTimer() const { return auto_hide_ != nullptr; }
  bool HasBeepTimer() const { return beep_ != nullptr; }
  int beeps() const { return beeps_; }
  // Both the keyboard and the pointer are held by this window.
  bool HoldsInput() const;
  // How often the window had to be put back over the display.
  int restores() const;
  // Ends the call that shows this window, as a click does.
  void End();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString message_;
  QEventLoop* loop_;
  QTimer* auto_hide_ = nullptr;
  QTimer* beep_ = nullptr;
  std::vector<QWidget*> blanks_;  // one plain black window per other screen
  std::unique_ptr<CoverGuard> guard_;
  int beeps_ = 0;
};

// Shows `text` (looked up as a message key, shown as it is without a
// translation) and returns when the user clicks or, with timers, when the
// auto-hide time is over. `tick`, when given, stands still while the window
// is up and fires next one second after it goes. Calls may nest: a message
// opened while another is up covers it and ends first.
void ShowBlockingMessage(const std::string& text, const BlockingMessageOptions& options,
                         TickTimer* tick);
// Ends every message shown (each call returns once the loops nested inside
// it have ended).
void EndAllBlockingMessages();
// Whether a message with this text (looked up) is shown now.
bool IsBlockingMessageShown(const std::string& text);
// "This computer is locked", without timers.
void LockComputer(TickTimer* tick);

// Tests: called with each window once it is shown.
void SetBlockingMessageObserverForTesting(std::function<void(BlockingMessageWindow*)> observer);

}  // namespace corvane
