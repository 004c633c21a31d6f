#include "QtAgentUserInterface.h"

#include "AlertWindows.h"
#include "BlockingMessage.h"
#include "CreditStrip.h"
#include "StatusMenu.h"

namespace corvane {

QtAgentUserInterface::QtAgentUserInterface(AgentState& state, TickTimer* tick, AlertSetup setup)
    : state_(state),
      tick_(tick),
      setup_(std::move(setup)),
      alerts_(std::make_unique<AlertWindows>(
          state,
          [this](const std::string& text, bool withTimers) { ShowBlockingMessage(text, withTimers); },
          setup_)) {}

QtAgentUserInterface::~QtAgentUserInterface() = default;

void QtAgentUserInterface::CreateCreditStrip() {
  if (!strip_) strip_ = std::make_unique<CreditStrip>(state_);
}

void QtAgentUserInterface::CreateStatusItem() {
  if (!menu_) menu_ = std::make_unique<StatusMenu>(state_, [this] { LockComputer(); });
}

void QtAgentUserInterface::ToggleStatusItem() {
  if (menu_) menu_->ToggleStatusItem();
}

void QtAgentUserInterface::LockComputer() { corvane::LockComputer(tick_, setup_); }

void QtAgentUserInterface::ShowBlockingMessage(const std::string& text, bool withTimers) {
  BlockingMessageOptions options{withTimers, state_.autoHideAlerts, state_.playAlertsSound, setup_};
  corvane::ShowBlockingMessage(text, options, tick_);
}

namespace {

// While a warning is up the strip names the record it is about.
class WarnedRecord {
 public:
  WarnedRecord(AgentState& state, int32_t pid) : state_(state), before_(state.warnedPid) {
    state_.warnedPid = pid;
  }
  ~WarnedRecord() { state_.warnedPid = before_; }

 private:
  AgentState& state_;
  int32_t before_;
};

}  // namespace

void QtAgentUserInterface::ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) {
  WarnedRecord warned(state_, record.pid);
  alerts_->ShowCreditWarning(record, kind);
}

void QtAgentUserInterface::ShowCurfewWarning(bool isEarly, const WatchedApp& record,
                                             double curfewMinutes) {
  WarnedRecord warned(state_, record.pid);
  alerts_->ShowCurfewWarning(isEarly, record, curfewMinutes);
}

void QtAgentUserInterface::RemoveAppMenuItem(int32_t pid) {
  if (menu_) menu_->RemoveAppMenuItem(pid);
}

void QtAgentUserInterface::SetDiskMenuItem(bool hasQuota, int64_t quotaBytes, int64_t usedBytes) {
  if (menu_) menu_->SetDiskMenuItem(hasQuota, quotaBytes, usedBytes);
}

void QtAgentUserInterface::TickStatusMenu() {
  if (menu_) menu_->TickStatusMenu();
}

void QtAgentUserInterface::ShowCreditStrip() {
  if (strip_) strip_->ShowCreditStrip();
}

void QtAgentUserInterface::RefreshCreditStrip() {
  if (strip_) strip_->RefreshCreditStrip();
}

void QtAgentUserInterface::TickCreditStrip() {
  if (strip_) strip_->TickCreditStrip();
}

}  // namespace corvane
