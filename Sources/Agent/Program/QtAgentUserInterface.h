// What the tick shows, on the Qt desktop: the blocking message, the credit
// and curfew warnings, the status item and the credit strip. The strip and
// the status item exist from the moments start-up creates them; calls made
// before then do nothing.
#pragma once

#include <memory>
#include <string>

#include "AgentInterfaces.h"
#include "AgentState.h"
#include "AlertTimers.h"

namespace corvane {

class AlertWindows;
class CreditStrip;
class StatusMenu;
class TickTimer;

class QtAgentUserInterface : public AgentUserInterface {
 public:
  // `setup` times the warnings and covers; the program takes the defaults.
  QtAgentUserInterface(AgentState& state, TickTimer* tick, AlertSetup setup = {});
  ~QtAgentUserInterface() override;

  void CreateCreditStrip();
  void CreateStatusItem();
  void ToggleStatusItem();
  void LockComputer();

  void ShowBlockingMessage(const std::string& text, bool with_timers) override;
  void ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) override;
  void ShowCurfewWarning(bool is_early, const WatchedApp& record, double curfew_minutes) override;
  void RemoveAppMenuItem(int32_t pid) override;
  void SetDiskMenuItem(bool has_quota, int64_t quota_bytes, int64_t used_bytes) override;
  void TickStatusMenu() override;
  void ShowCreditStrip() override;
  void RefreshCreditStrip() override;
  void TickCreditStrip() override;

 private:
  AgentState& state_;
  TickTimer* tick_;
  AlertSetup setup_;
  std::unique_ptr<AlertWindows> alerts_;
  std::unique_ptr<CreditStrip> strip_;
  std::unique_ptr<StatusMenu> menu_;
};

}  // namespace corvane
