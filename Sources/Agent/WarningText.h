// The texts of the credit and curfew warnings, apart from the windows that
// show them.
#pragma once

#include <optional>
#include <string>

#include "AgentInterfaces.h"
#include "WatchedApp.h"

namespace corvane {

// The kind as the record's credit says now: the marker gives NoCredit, 5
// FiveMinutes, anything else LastMinute.
CreditWarningKind CreditWarningKindOf(const WatchedApp& record);

// "your session" for the session's own record, else its display name.
std::string CreditWarningSubject(const WatchedApp& record);

// The kind's format with (display name, subject); none for a kind outside
// the three known values.
std::optional<std::string> CreditWarningText(const WatchedApp& record, CreditWarningKind kind);

// "Curfew early error" / "Curfew late error" with (display name, time text).
std::string CurfewWarningText(bool is_early, const WatchedApp& record,
                              const std::string& time_text);

// The localized "Click to continue".
std::string ClickToContinueText();

}  // namespace corvane
