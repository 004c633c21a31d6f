// The credit and curfew warnings, in their full-screen or standard-alert
// presentation as "Don't fade screen" asks.
#pragma once

#include <functional>
#include <string>

#include "AgentInterfaces.h"
#include "AgentState.h"
#include "AlertTimers.h"

namespace corvane {

// ShowBlockingMessage(text, withTimers) of the agent's blocking message.
using BlockingMessageFunction = std::function<void(const std::string& text, bool with_timers)>;

class AlertWindows {
 public:
  AlertWindows(AgentState& state, BlockingMessageFunction show_blocking_message,
               AlertSetup setup = {});

  // Both block until the warning is gone. The full-screen credit warning,
  // unlike the blocking message, leaves the tick timer alone.
  void ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind);
  void ShowCurfewWarning(bool is_early, const WatchedApp& record, double curfew_minutes);

 private:
  AgentState& state_;
  BlockingMessageFunction show_blocking_message_;
  AlertSetup setup_;
};

// The clock time `curfewMinutes` after midnight in the user's locale, short
// style; empty outside a day.
std::string CurfewTimeText(double curfew_minutes);

}  // namespace corvane
