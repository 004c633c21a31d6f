// The blocking message: one message in red over the whole screen, which
// also makes the lock screen.
#pragma once

#include <string>

#include "AlertTimers.h"

namespace corvane {

class TickTimer;

struct BlockingMessageOptions {
  bool with_timers = false;
  bool auto_hide_alerts = false;   // with timers: ends by itself after the auto-hide time
  bool play_alerts_sound = false;  // with timers: a beep at every beep interval
  AlertSetup setup = {};
};

// Shows `text` (looked up as a message key, shown as it is without a
// translation) and returns when the user clicks or, with timers, when the
// auto-hide time is over. `tick`, when given, stands still while the window
// is up and fires next one second after it goes. Calls may nest: a message
// opened while another is up covers it and ends first.
void ShowBlockingMessage(const std::string& text, const BlockingMessageOptions& options,
                         TickTimer* tick);
// Ends every message shown (each call returns once the loops nested inside
// it have ended).
void EndAllBlockingMessages();
// Whether a message with this text (looked up) is shown now.
bool IsBlockingMessageShown(const std::string& text);
// "This computer is locked", without timers.
void LockComputer(TickTimer* tick, const AlertSetup& setup = {});

}  // namespace corvane
