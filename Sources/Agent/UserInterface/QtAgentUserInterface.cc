#include "QtAgentUserInterface.h"

#include <QLocale>
#include <QTime>

#include <cmath>

#include "BlockingMessage.h"
#include "Localization.h"

namespace corvane {
namespace {

std::string NameOf(const WatchedApp& record) {
  if (record.displayName && !record.displayName->empty()) return *record.displayName;
  return record.identifier;
}

}  // namespace

std::string QtAgentUserInterface::CreditWarningText(const WatchedApp& record,
                                                    CreditWarningKind kind) {
  const char* key = kind == CreditWarningKind::NoCredit      ? "Credit low format disco"
                    : kind == CreditWarningKind::FiveMinutes ? "Credit low format disco in 5"
                                                             : "Credit low format";
  std::string subject = record.identifier == "com.apple.loginwindow"
                            ? LocalizedString("your session")
                            : NameOf(record);
  return FormatLocalized(key, {NameOf(record), subject});
}

std::string QtAgentUserInterface::CurfewWarningText(bool isEarly, const WatchedApp& record,
                                                    double curfewMinutes) {
  int minutes = static_cast<int>(std::floor(curfewMinutes));
  std::string time;
  if (minutes >= 0 && minutes < 24 * 60) {
    time = QLocale().toString(QTime(minutes / 60, minutes % 60), QLocale::ShortFormat)
               .toStdString();
  }
  return FormatLocalized(isEarly ? "Curfew early error" : "Curfew late error",
                         {NameOf(record), time});
}

void QtAgentUserInterface::ShowBlockingMessage(const std::string& text, bool withTimers) {
  BlockingMessageOptions options{withTimers, state_.autoHideAlerts, state_.playAlertsSound};
  corvane::ShowBlockingMessage(text, options, tick_);
}

void QtAgentUserInterface::ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) {
  ShowBlockingMessage(CreditWarningText(record, kind), true);
}

void QtAgentUserInterface::ShowCurfewWarning(bool isEarly, const WatchedApp& record,
                                             double curfewMinutes) {
  ShowBlockingMessage(CurfewWarningText(isEarly, record, curfewMinutes), true);
}

void QtAgentUserInterface::LockComputer() { corvane::LockComputer(tick_); }

}  // namespace corvane
