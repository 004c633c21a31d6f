#include "AlertWindows.h"

#include <QLocale>
#include <QTime>
#include <QTimer>

#include "FullScreenCover.h"
#include "StandardAlert.h"
#include "WarningText.h"

namespace corvane {

AlertWindows::AlertWindows(AgentState& state, BlockingMessageFunction showBlockingMessage,
                           AlertSetup setup)
    : state_(state), showBlockingMessage_(std::move(showBlockingMessage)), setup_(std::move(setup)) {}

void AlertWindows::ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) {
  if (!state_.dontFadeScreen) {
    // The text is worked out from the record at every redraw: the tick runs
    // on and changes the record under the warning, so it is redrawn each
    // second.
    FullScreenCover cover(
        kCreditWarningLook,
        [&record] {
          return QString::fromStdString(
              CreditWarningText(record, CreditWarningKindOf(record)).value_or(""));
        },
        setup_, state_.autoHideAlerts, state_.playAlertsSound);
    QTimer redraw;
    QObject::connect(&redraw, &QTimer::timeout, &cover, qOverload<>(&QWidget::update));
    redraw.start(1000);
    cover.Run();
    return;
  }
  std::optional<std::string> message = CreditWarningText(record, kind);
  if (!message) return;
  RunStandardAlert(*message, state_.playAlertsSound, setup_);
}

void AlertWindows::ShowCurfewWarning(bool isEarly, const WatchedApp& record,
                                     double curfewMinutes) {
  const std::string message = CurfewWarningText(isEarly, record, CurfewTimeText(curfewMinutes));
  if (!state_.dontFadeScreen) {
    if (showBlockingMessage_) showBlockingMessage_(message, true);
    return;
  }
  RunStandardAlert(message, state_.playAlertsSound, setup_);
}

std::string CurfewTimeText(double curfewMinutes) {
  if (!(curfewMinutes >= 0 && curfewMinutes < 24 * 60)) return {};
  const int minutes = static_cast<int>(curfewMinutes);
  const QTime time(minutes / 60, minutes % 60);
  const QLocale locale = QLocale::system();
  // The plain C locale's "short" time still carries seconds.
  const QString format =
      locale.language() == QLocale::C ? QStringLiteral("HH:mm") : locale.timeFormat(QLocale::ShortFormat);
  return locale.toString(time, format).toStdString();
}

}  // namespace corvane
