#include "HotKeys.h"

#include <QTimer>

namespace corvane {

HotKeys::HotKeys(std::function<void()> show_credit_strip, std::function<void()> toggle_status_item,
                 QObject* parent)
    : QObject(parent),
      show_credit_strip_(std::move(show_credit_strip)),
      toggle_status_item_(std::move(toggle_status_item)) {}

HotKeysStart HotKeys::Start() {
  const HotKeysStart status = keys_.Start();
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
    if (key == HotKey::kCreditStrip && show_credit_strip_) show_credit_strip_();
    if (key == HotKey::kStatusItem && toggle_status_item_) toggle_status_item_();
  }
}

}  // namespace corvane
