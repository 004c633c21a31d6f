#include "AlertWindows.h"

#include <QLocale>
#include <QTime>
#include <QTimer>

#include "FullScreenCover.h"
#include "StandardAlert.h"
#include "WarningText.h"

namespace corvane {

AlertWindows::AlertWindows(AgentState& state, BlockingMessageFunction show_blocking_message,
                           AlertSetup setup)
    : state_(state), show_blocking_message_(std::move(show_blocking_message)), setup_(std::move(setup)) {}

void AlertWindows::ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) {
  if (!state_.dont_fade_screen) {
    // The text is worked out from the record at every redraw: the tick runs
    // on and changes the record under the warning, so it is redrawn each
    // second.
    FullScreenCover cover(
        kCreditWarningLook,
        [&record] {
          return QString::fromStdString(
              CreditWarningText(record, CreditWarningKindOf(record)).value_or(""));
        },
        setup_, state_.auto_hide_alerts, state_.play_alerts_sound);
    QTimer redraw;
    QObject::connect(&redraw, &QTimer::timeout, &cover, qOverload<>(&QWidget::update));
    redraw.start(1000);
    cover.Run();
    return;
  }
  std::optional<std::string> message = CreditWarningText(record, kind);
  if (!message) return;
  RunStandardAlert(*message, state_.play_alerts_sound, setup_);
}

void AlertWindows::ShowCurfewWarning(bool is_early, const WatchedApp& record,
                                     double curfew_minutes) {
  const std::string message = CurfewWarningText(is_early, record, CurfewTimeText(curfew_minutes));
  if (!state_.dont_fade_screen) {
    if (show_blocking_message_) show_blocking_message_(message, true);
    return;
  }
  RunStandardAlert(message, state_.play_alerts_sound, setup_);
}

std::string CurfewTimeText(double curfew_minutes) {
  if (!(curfew_minutes >= 0 && curfew_minutes < 24 * 60)) return {};
  const int minutes = static_cast<int>(curfew_minutes);
  const QTime time(minutes / 60, minutes % 60);
  const QLocale locale = QLocale::system();
  // The plain C locale's "short" time still carries seconds.
  const QString format =
      locale.language() == QLocale::C ? QStringLiteral("HH:mm") : locale.timeFormat(QLocale::ShortFormat);
  return locale.toString(time, format).toStdString();
}

}  // namespace corvane
