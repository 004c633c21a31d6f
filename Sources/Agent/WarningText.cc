#include "WarningText.h"

#include "AppSettings.h"
#include "Localization.h"

namespace corvane {
CreditWarningKind CreditWarningKindOf(const WatchedApp& record) {
  if (record.settings.credit == kNoCreditMarker) return CreditWarningKind::kNoCredit;
  if (record.settings.credit == 5) return CreditWarningKind::kFiveMinutes;
  return CreditWarningKind::kLastMinute;
}

std::string CreditWarningSubject(const WatchedApp& record) {
  if (record.identifier == kComputerAppKey) return LocalizedString("your session");
  return record.display_name.value_or("");
}

std::optional<std::string> CreditWarningText(const WatchedApp& record, CreditWarningKind kind) {
  const char* key = nullptr;
  switch (kind) {
    case CreditWarningKind::kLastMinute: key = "Credit low format"; break;
    case CreditWarningKind::kNoCredit: key = "Credit low format disco"; break;
    case CreditWarningKind::kFiveMinutes: key = "Credit low format disco in 5"; break;
  }
  if (key == nullptr) return std::nullopt;
  return FormatLocalized(key, {record.display_name.value_or(""), CreditWarningSubject(record)});
}

std::string CurfewWarningText(bool is_early, const WatchedApp& record,
                              const std::string& time_text) {
  return FormatLocalized(is_early ? "Curfew early error" : "Curfew late error",
                         {record.display_name.value_or(""), time_text});
}

std::string ClickToContinueText() { return LocalizedString("Click to continue"); }

}  // namespace corvane
