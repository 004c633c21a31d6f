#include "BlockingMessage.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cassert>

#include "CoverGuard.h"
#include "Localization.h"
#include "TickTimer.h"

namespace corvane {
namespace {

constexpr Qt::WindowFlags kCoverFlags = Qt::Window | Qt::FramelessWindowHint |
                                        Qt::WindowStaysOnTopHint |
                                        Qt::X11BypassWindowManagerHint;
constexpr double kTickRestartSeconds = 1.0;

// The open windows, innermost last: only that one may raise itself and hold
// the input, or nested messages would fight over the top.
std::vector<BlockingMessageWindow*>& OpenWindows() {
  static std::vector<BlockingMessageWindow*> windows;
  return windows;
}

std::function<void(BlockingMessageWindow*)>& Observer() {
  static std::function<void(BlockingMessageWindow*)> observer;
  return observer;
}

void MakeBlack(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::black);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

BlockingMessageWindow::BlockingMessageWindow(const QString& message,
                                             const BlockingMessageOptions& options,
                                             QEventLoop* loop)
    : QWidget(nullptr, kCoverFlags), message_(message), loop_(loop) {
  assert(loop_ != nullptr && "BlockingMessage: a window needs the loop it ends");
  MakeBlack(this);
  setWindowTitle(message_);  // lets a script find the window it has to click
  setCursor(Qt::ArrowCursor);
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary != nullptr) setGeometry(primary->geometry());
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen == primary) continue;
    auto* blank = new QWidget(nullptr, kCoverFlags);
    MakeBlack(blank);
    blank->setGeometry(screen->geometry());
    blank->show();
    blanks_.push_back(blank);
  }
  if (options.withTimers && options.autoHideAlerts) {
    auto_hide_ = new QTimer(this);
    auto_hide_->setSingleShot(true);
    connect(auto_hide_, &QTimer::timeout, this, &BlockingMessageWindow::End);
    auto_hide_->start(kAutoHideMilliseconds);
  }
  if (options.withTimers && options.playAlertsSound) {
    beep_ = new QTimer(this);
    connect(beep_, &QTimer::timeout, this, [this] {
      ++beeps_;
      QApplication::beep();
    });
    beep_->start(kBeepMilliseconds);
  }
  // The window below gives up the input to this one.
  for (BlockingMessageWindow* below : OpenWindows()) below->guard_->SetInCharge(false);
  OpenWindows().push_back(this);
  show();
  guard_ = std::make_unique<CoverGuard>(this, blanks_);
}

BlockingMessageWindow::~BlockingMessageWindow() {
  auto& open = OpenWindows();
  open.erase(std::remove(open.begin(), open.end(), this), open.end());
  guard_.reset();  // lets go of the input
  for (QWidget* blank : blanks_) delete blank;
  // The message below takes the screen and the input back at once.
  if (!open.empty()) open.back()->guard_->SetInCharge(true);
}

bool BlockingMessageWindow::HoldsInput() const { return guard_ != nullptr && guard_->HoldsInput(); }

int BlockingMessageWindow::restores() const { return guard_ != nullptr ? guard_->restores() : 0; }

void BlockingMessageWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect box = rect();
  painter.fillRect(box, Qt::black);
  int bottom = box.bottom() + 1;
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(std::max(20, bottom / 20));
  painter.setFont(font);
  painter.setPen(QColor::fromRgbF(1.0, 0.2, 0.2, 1.0));
  int inset = box.width() / 20;
  int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
  painter.drawText(QRect(box.left() + inset, bottom / 3, box.width() - 2 * inset,
                         bottom - bottom / 3),
                   flags, message_);
  painter.drawText(QRect(box.left() + inset, 2 * bottom / 3, box.width() - 2 * inset,
                         bottom - 2 * bottom / 3),
                   flags, QString::fromStdString(LocalizedString("Click to continue")));
}

void BlockingMessageWindow::mousePressEvent(QMouseEvent* event) {
  event->accept();
  End();
}

void BlockingMessageWindow::End() { loop_->quit(); }

bool IsBlockingMessageShown(const std::string& text) {
  QString message = QString::fromStdString(LocalizedString(text.c_str()));
  for (BlockingMessageWindow* window : OpenWindows()) {
    if (window->message() == message) return true;
  }
  return false;
}

void ShowBlockingMessage(const std::string& text, const BlockingMessageOptions& options,
                         TickTimer* tick) {
  // An empty key would look up the catalogue's header.
  QString message = text.empty() ? QString() : QString::fromStdString(LocalizedString(text.c_str()));
  if (tick != nullptr) tick->Pause();
  {
    QEventLoop loop;
    BlockingMessageWindow window(message, options, &loop);
    if (Observer()) Observer()(&window);
    loop.exec();
  }
  if (tick != nullptr) tick->Resume(kTickRestartSeconds);
}

void EndAllBlockingMessages() {
  for (BlockingMessageWindow* window : OpenWindows()) window->End();
}

void LockComputer(TickTimer* tick) {
  ShowBlockingMessage("This computer is locked", BlockingMessageOptions{}, tick);
}

void SetBlockingMessageObserverForTesting(std::function<void(BlockingMessageWindow*)> observer) {
  Observer() = std::move(observer);
}

}  // namespace corvane
