// What the tick shows, on the Qt desktop. Credit and curfew warnings take
// the screen through the blocking message; the status item and the credit
// strip have no windows of their own yet, so their calls do nothing.
#pragma once

#include <string>

#include "AgentInterfaces.h"
#include "AgentState.h"

namespace corvane {

class TickTimer;

class QtAgentUserInterface : public AgentUserInterface {
 public:
  QtAgentUserInterface(AgentState& state, TickTimer* tick) : state_(state), tick_(tick) {}

  void ShowBlockingMessage(const std::string& text, bool withTimers) override;
  void ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) override;
  void ShowCurfewWarning(bool isEarly, const WatchedApp& record, double curfewMinutes) override;
  void RemoveAppMenuItem(int32_t) override {}
  void SetDiskMenuItem(bool, int64_t, int64_t) override {}
  void TickStatusMenu() override {}
  void ShowCreditStrip() override {}
  void RefreshCreditStrip() override {}
  void TickCreditStrip() override {}
  void LockComputer();

  // The warning texts, as the windows show them.
  static std::string CreditWarningText(const WatchedApp& record, CreditWarningKind kind);
  static std::string CurfewWarningText(bool isEarly, const WatchedApp& record,
                                       double curfewMinutes);

 private:
  AgentState& state_;
  TickTimer* tick_;
};

}  // namespace corvane
