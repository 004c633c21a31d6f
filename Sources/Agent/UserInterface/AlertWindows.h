// The credit and curfew warnings, in their full-screen or standard-alert
// presentation as "Don't fade screen" asks.
#pragma once

#include <functional>
#include <string>

#include "AgentInterfaces.h"
#include "AgentState.h"

namespace corvane {

// ShowBlockingMessage(text, withTimers) of the agent's blocking message.
using BlockingMessageFunction = std::function<void(const std::string& text, bool withTimers)>;

class AlertWindows {
 public:
  AlertWindows(AgentState& state, BlockingMessageFunction showBlockingMessage);

  // Both block until the warning is gone.
  void ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind);
  void ShowCurfewWarning(bool isEarly, const WatchedApp& record, double curfewMinutes);

 private:
  AgentState& state_;
  BlockingMessageFunction showBlockingMessage_;
};

// The clock time `curfewMinutes` after midnight in the user's locale, short
// style; empty outside a day.
std::string CurfewTimeText(double curfewMinutes);

}  // namespace corvane
