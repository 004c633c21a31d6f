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
          [this](const std::string& text, bool with_timers) { ShowBlockingMessage(text, with_timers); },
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

void QtAgentUserInterface::ShowBlockingMessage(const std::string& text, bool with_timers) {
  BlockingMessageOptions options{with_timers, state_.auto_hide_alerts, state_.play_alerts_sound, setup_};
  corvane::ShowBlockingMessage(text, options, tick_);
}

namespace {

// While a warning is up the strip names the record it is about.
class WarnedRecord {
 public:
  WarnedRecord(AgentState& state, int32_t pid) : state_(state), before_(state.warned_pid) {
    state_.warned_pid = pid;
  }
  ~WarnedRecord() { state_.warned_pid = before_; }

 private:
  AgentState& state_;
  int32_t before_;
};

}  // namespace

void QtAgentUserInterface::ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) {
  WarnedRecord warned(state_, record.pid);
  alerts_->ShowCreditWarning(record, kind);
}

void QtAgentUserInterface::ShowCurfewWarning(bool is_early, const WatchedApp& record,
                                             double curfew_minutes) {
  WarnedRecord warned(state_, record.pid);
  alerts_->ShowCurfewWarning(is_early, record, curfew_minutes);
}

void QtAgentUserInterface::RemoveAppMenuItem(int32_t pid) {
  if (menu_) menu_->RemoveAppMenuItem(pid);
}

void QtAgentUserInterface::SetDiskMenuItem(bool has_quota, int64_t quota_bytes, int64_t used_bytes) {
  if (menu_) menu_->SetDiskMenuItem(has_quota, quota_bytes, used_bytes);
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
