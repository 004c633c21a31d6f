// Control+Alt+C shows the credit strip, Control+Alt+H shows or hides the
// status item, wherever the keyboard focus is.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "Platform/X11/GlobalHotKeys.h"

namespace corvane {

class HotKeys : public QObject {
  Q_OBJECT
 public:
  HotKeys(std::function<void()> show_credit_strip, std::function<void()> toggle_status_item,
          QObject* parent = nullptr);

  // Grabs the keys; when another program holds one of them the agent goes
  // on without.
  HotKeysStart Start();

 private:
  void ReadPressed();

  std::function<void()> show_credit_strip_;
  std::function<void()> toggle_status_item_;
  GlobalHotKeys keys_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace corvane
