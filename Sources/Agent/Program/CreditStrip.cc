#include "CreditStrip.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace corvane {
namespace {

constexpr int kFadeMilliseconds = 300;

QFont StripFont(const QScreen* screen) {
  QFont font = QGuiApplication::font();
  font.setBold(true);
  font.setPixelSize(screen != nullptr ? std::max(14, screen->geometry().height() / 50) : 16);
  return font;
}

}  // namespace

CreditStrip::CreditStrip(AgentState& state)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus),
      state_(state),
      fade_(this, "windowOpacity") {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setObjectName(QStringLiteral("CorvaneCreditStrip"));
  fade_.setDuration(kFadeMilliseconds);
  fade_.setStartValue(1.0);
  fade_.setEndValue(0.0);
  connect(&fade_, &QPropertyAnimation::finished, this, [this] {
    if (!lifetime_.visible()) hide();
  });
}

void CreditStrip::PlaceOnPrimaryScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QFont font = StripFont(screen);
  setFont(font);
  const QRect area = screen->geometry();
  setGeometry(area.x(), area.y(), area.width(), QFontMetrics(font).height() + 10);
}

void CreditStrip::ShowCreditStrip() {
  PlaceOnPrimaryScreen();
  RefreshCreditStrip();
  if (!lifetime_.Show()) return;
  fade_.stop();
  setWindowOpacity(1.0);
  show();
  raise();
}

void CreditStrip::RefreshCreditStrip() {
  const int32_t front = state_.system != nullptr ? state_.system->FrontmostPid() : 0;
  int32_t own = state_.system != nullptr
                    ? state_.system->OwnPid()
                    : static_cast<int32_t>(QCoreApplication::applicationPid());
  shown_pid_ = CreditStripSubject(front, own, state_.warned_pid, shown_pid_);
  text_ = QString::fromStdString(
      CreditStripText(state_.watched_apps, shown_pid_, state_.disk_quota_countdown));
  update();
}

void CreditStrip::TickCreditStrip() {
  if (!lifetime_.visible()) return;
  const bool hide_now = lifetime_.Tick();
  RefreshCreditStrip();
  if (hide_now) fade_.start();
}

void CreditStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // A light band in the manner of a menu bar, with a hairline under it.
  painter.fillRect(rect(), QColor(236, 236, 236));
  painter.setPen(QColor(180, 180, 180));
  painter.drawLine(rect().bottomLeft(), rect().bottomRight());
  painter.setPen(QColor::fromRgbF(0.0f, 0.0f, 1.0f, 1.0f));
  const QRect box = rect().adjusted(10, 3, 0, 0);
  const QString shown = painter.fontMetrics().elidedText(text_, Qt::ElideRight, box.width() - 10);
  painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, shown);
}

}  // namespace corvane
