#include "WarningText.h"

#include "AppSettings.h"
#include "Localization.h"

namespace corvane {
CreditWarningKind CreditWarningKindOf(const WatchedApp& record) {
  if (record.settings.Credit == kNoCreditMarker) return CreditWarningKind::NoCredit;
  if (record.settings.Credit == 5) return CreditWarningKind::FiveMinutes;
  return CreditWarningKind::LastMinute;
}

std::string CreditWarningSubject(const WatchedApp& record) {
  if (record.identifier == kComputerAppKey) return LocalizedString("your session");
  return record.displayName.value_or("");
}

std::optional<std::string> CreditWarningText(const WatchedApp& record, CreditWarningKind kind) {
  const char* key = nullptr;
  switch (kind) {
    case CreditWarningKind::LastMinute: key = "Credit low format"; break;
    case CreditWarningKind::NoCredit: key = "Credit low format disco"; break;
    case CreditWarningKind::FiveMinutes: key = "Credit low format disco in 5"; break;
  }
  if (key == nullptr) return std::nullopt;
  return FormatLocalized(key, {record.displayName.value_or(""), CreditWarningSubject(record)});
}

std::string CurfewWarningText(bool isEarly, const WatchedApp& record,
                              const std::string& timeText) {
  return FormatLocalized(isEarly ? "Curfew early error" : "Curfew late error",
                         {record.displayName.value_or(""), timeText});
}

std::string ClickToContinueText() { return LocalizedString("Click to continue"); }

}  // namespace corvane
