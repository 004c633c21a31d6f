#include "HotKeys.h"

#include <QTimer>

namespace corvane {

HotKeys::HotKeys(std::function<void()> showCreditStrip, std::function<void()> toggleStatusItem,
                 QObject* parent)
    : QObject(parent),
      showCreditStrip_(std::move(showCreditStrip)),
      toggleStatusItem_(std::move(toggleStatusItem)) {}

int HotKeys::Start() {
  const int status = keys_.Start();
  if (keys_.EventDescriptor() < 0) return status;
  notifier_ = std::make_unique<QSocketNotifier>(keys_.EventDescriptor(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &HotKeys::ReadPressed);
  // Events read while the grabs were answered wait in the queue, not on
  // the socket.
  QTimer::singleShot(0, this, &HotKeys::ReadPressed);
  return status;
}

void HotKeys::ReadPressed() {
  for (HotKey key : keys_.ReadPressed()) {
    if (key == HotKey::CreditStrip && showCreditStrip_) showCreditStrip_();
    if (key == HotKey::StatusItem && toggleStatusItem_) toggleStatusItem_();
  }
}

}  // namespace corvane
