#include "CreditWarningWindow.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <memory>
#include <vector>

#include "AlertTimers.h"
#include "CoverGuard.h"
#include "WarningText.h"

namespace corvane {
namespace {

// Past the window manager, like the blocking message: it can then be neither
// minimised nor stacked under another program's window by it.
constexpr Qt::WindowFlags kFullScreenFlags = Qt::Window | Qt::FramelessWindowHint |
                                             Qt::WindowStaysOnTopHint |
                                             Qt::X11BypassWindowManagerHint;

void DrawCentred(QPainter& painter, const QRect& box, const QString& text) {
  painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
}

}  // namespace

CreditWarningWindow::CreditWarningWindow(const WatchedApp& record, QWidget* parent)
    : QWidget(parent, kFullScreenFlags), record_(record) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setWindowTitle(MessageText());  // names the window for the window manager and scripts
  setCursor(Qt::ArrowCursor);
}

QString CreditWarningWindow::MessageText() const {
  return QString::fromStdString(
      CreditWarningText(record_, CreditWarningKindOf(record_)).value_or(""));
}

void CreditWarningWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect box = rect();
  painter.fillRect(box, Qt::black);
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(std::max(18, box.height() / 24));
  painter.setFont(font);
  painter.setPen(QColor::fromRgbF(0.2f, 0.2f, 1.0f, 1.0f));
  // A margin keeps long names off the very edge of the screen.
  const int margin = box.width() / 20;
  DrawCentred(painter, QRect(QPoint(margin, box.bottom() / 3), QPoint(box.right() - margin, box.bottom())),
              MessageText());
  DrawCentred(painter,
              QRect(QPoint(margin, (2 * box.bottom()) / 3), QPoint(box.right() - margin, box.bottom())),
              QString::fromStdString(ClickToContinueText()));
}

void CreditWarningWindow::mousePressEvent(QMouseEvent*) { emit clicked(); }

void CreditWarningWindow::Run(const AgentState& state, const WatchedApp& record) {
  QScreen* primary = QGuiApplication::primaryScreen();
  CreditWarningWindow window(record);
  if (primary != nullptr) window.setGeometry(primary->geometry());

  // Other screens go black so nothing else can be used meanwhile.
  std::vector<std::unique_ptr<QWidget>> blanks;
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen == primary) continue;
    auto blank = std::make_unique<QWidget>(nullptr, kFullScreenFlags);
    blank->setStyleSheet("background: black");
    blank->setGeometry(screen->geometry());
    blank->show();
    blanks.push_back(std::move(blank));
  }

  QEventLoop loop;
  QObject::connect(&window, &CreditWarningWindow::clicked, &loop, &QEventLoop::quit);
  AlertTimers timers(state.autoHideAlerts, state.playAlertsSound, [&loop] { loop.quit(); });
  // The record can change under a running tick; redraw from it each second.
  QTimer redraw;
  QObject::connect(&redraw, &QTimer::timeout, &window, qOverload<>(&QWidget::update));
  redraw.start(1000);

  window.show();
  window.raise();
  window.activateWindow();
  // Nothing else can be used while the warning stands, so the tick may wait
  // for it: the guard puts it back when it is taken off the screen.
  std::vector<QWidget*> raw_blanks;
  for (const auto& blank : blanks) raw_blanks.push_back(blank.get());
  CoverGuard guard(&window, raw_blanks);
  loop.exec();
}

}  // namespace corvane
