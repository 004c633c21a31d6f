// The platform's standard alert for warnings when "Don't fade screen" is on:
// a critical-icon message box with the warning as its text and "Click to
// continue" as its informative text.
#pragma once

#include <string>

#include "AlertTimers.h"

namespace corvane {

// Returns once the alert is dismissed. The alert presses its own default
// button after the auto-hide time whatever "Auto Hide Alerts" says: it
// leaves the rest of the desktop usable while the tick waits for it, so an
// alert nobody answers would otherwise stop all counting for good.
void RunStandardAlert(const std::string& message, bool play_alerts_sound, const AlertSetup& setup);

}  // namespace corvane
