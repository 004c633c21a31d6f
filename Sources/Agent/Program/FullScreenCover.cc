#include "FullScreenCover.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

#include "CoverGuard.h"
#include "WarningText.h"

namespace corvane {
namespace {

// Past the window manager: a cover can then be neither minimised nor stacked
// under another program's window by it.
constexpr Qt::WindowFlags kCoverFlags = Qt::Window | Qt::FramelessWindowHint |
                                        Qt::WindowStaysOnTopHint |
                                        Qt::X11BypassWindowManagerHint;

std::vector<FullScreenCover*>& Open() {
  static std::vector<FullScreenCover*> covers;
  return covers;
}

void MakeBlack(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::black);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

const std::vector<FullScreenCover*>& FullScreenCover::OpenCovers() { return Open(); }

FullScreenCover::FullScreenCover(const CoverLook& look, std::function<QString()> text,
                                 const AlertSetup& setup, bool auto_hide, bool beep)
    : QWidget(nullptr, kCoverFlags),
      look_(look),
      text_(std::move(text)),
      setup_(setup),
      auto_hide_(auto_hide),
      beep_(beep) {
  MakeBlack(this);
  setWindowTitle(Text());  // lets a script find the window it has to click
  setCursor(Qt::ArrowCursor);
}

FullScreenCover::~FullScreenCover() {
  auto& open = Open();
  const bool was_open = std::find(open.begin(), open.end(), this) != open.end();
  open.erase(std::remove(open.begin(), open.end(), this), open.end());
  guard_.reset();  // lets go of the input
  blanks_.clear();
  // The cover below takes the screen and the input back at once.
  if (was_open && !open.empty()) open.back()->guard_->SetInCharge(true);
}

void FullScreenCover::Run() {
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary != nullptr) setGeometry(primary->geometry());
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen == primary) continue;
    auto blank = std::make_unique<QWidget>(nullptr, kCoverFlags);
    MakeBlack(blank.get());
    blank->setGeometry(screen->geometry());
    blank->show();
    blanks_.push_back(std::move(blank));
  }
  if (auto_hide_ || beep_) {
    timers_ = std::make_unique<AlertTimers>(setup_, auto_hide_, beep_, [this] { End(); });
  }
  // The cover below gives up the input to this one.
  for (FullScreenCover* below : Open()) below->guard_->SetInCharge(false);
  Open().push_back(this);
  show();
  raise();
  activateWindow();
  std::vector<QWidget*> blanks;
  for (const auto& blank : blanks_) blanks.push_back(blank.get());
  guard_ = std::make_unique<CoverGuard>(this, blanks);
  if (setup_.on_cover_shown) setup_.on_cover_shown(this);
  loop_.exec();
}

void FullScreenCover::End() { loop_.quit(); }

bool FullScreenCover::HoldsInput() const { return guard_ != nullptr && guard_->HoldsInput(); }

int FullScreenCover::restores() const { return guard_ != nullptr ? guard_->restores() : 0; }

void FullScreenCover::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect box = rect();
  painter.fillRect(box, Qt::black);
  const int height = box.bottom() + 1;
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(std::max(look_.minimum_pixel_size, height / look_.lines_per_height));
  painter.setFont(font);
  painter.setPen(look_.ink);
  // A margin keeps long names off the very edge of the screen.
  const int margin = box.width() / 20;
  const int thirds = look_.thirds_of_last_row ? box.bottom() : height;
  const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
  for (const auto& [top, text] : {std::pair{thirds / 3, Text()},
                                  std::pair{2 * thirds / 3,
                                            QString::fromStdString(ClickToContinueText())}}) {
    painter.drawText(QRect(QPoint(box.left() + margin, top), QPoint(box.right() - margin, box.bottom())),
                     flags, text);
  }
}

void FullScreenCover::mousePressEvent(QMouseEvent* event) {
  event->accept();
  End();
}

}  // namespace corvane
