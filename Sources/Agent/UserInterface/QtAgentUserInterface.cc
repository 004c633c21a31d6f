#include "QtAgentUserInterface.h"

#include <QLocale>
#include <QTime>

#include <cmath>
#include <vector>

#include "BlockingMessage.h"
#include "Localization.h"

namespace corvane {
namespace {

// Puts `args` in place of the format's "%s"/"%@" (in turn) and "%N$s"/"%N$@"
// (by number), and "%%" becomes "%". The arguments are display names from
// files the child controls: they are copied, never read as formats.
std::string FormatArguments(const std::string& format, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    size_t j = i + 1;
    size_t index = next;
    if (format[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    if (format[j] >= '1' && format[j] <= '9' && j + 1 < format.size() && format[j + 1] == '$') {
      index = static_cast<size_t>(format[j] - '1');
      j += 2;
    } else {
      ++next;
    }
    if (j < format.size() && (format[j] == 's' || format[j] == '@')) {
      if (index < args.size()) out += args[index];
      i = j;
    } else {
      out += format[i];
    }
  }
  return out;
}

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
  return FormatArguments(LocalizedString(key), {NameOf(record), subject});
}

std::string QtAgentUserInterface::CurfewWarningText(bool isEarly, const WatchedApp& record,
                                                    double curfewMinutes) {
  int minutes = static_cast<int>(std::floor(curfewMinutes));
  std::string time;
  if (minutes >= 0 && minutes < 24 * 60) {
    time = QLocale().toString(QTime(minutes / 60, minutes % 60), QLocale::ShortFormat)
               .toStdString();
  }
  return FormatArguments(LocalizedString(isEarly ? "Curfew early error" : "Curfew late error"),
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
