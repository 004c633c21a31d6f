#include "AlertWindows.h"

#include <QLocale>
#include <QTime>

#include "CreditWarningWindow.h"
#include "StandardAlert.h"
#include "WarningText.h"

namespace corvane {

AlertWindows::AlertWindows(AgentState& state, BlockingMessageFunction showBlockingMessage)
    : state_(state), showBlockingMessage_(std::move(showBlockingMessage)) {}

void AlertWindows::ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) {
  if (!state_.dontFadeScreen) {
    CreditWarningWindow::Run(state_, record);
    return;
  }
  std::optional<std::string> message = CreditWarningText(record, kind);
  if (!message) return;
  RunStandardAlert(*message, state_.playAlertsSound);
}

void AlertWindows::ShowCurfewWarning(bool isEarly, const WatchedApp& record,
                                     double curfewMinutes) {
  const std::string message = CurfewWarningText(isEarly, record, CurfewTimeText(curfewMinutes));
  if (!state_.dontFadeScreen) {
    if (showBlockingMessage_) showBlockingMessage_(message, true);
    return;
  }
  RunStandardAlert(message, state_.playAlertsSound);
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
