// The status item: the eye in the system tray with the menu of credits, the
// disk line and "Lock computer". Without a tray host everything but the
// icon itself still works, and the icon appears once a tray host does.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "AgentState.h"
#include "StatusMenuModel.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace corvane {

class StatusMenu : public QObject {
  Q_OBJECT
 public:
  // `lockComputer` runs when the user picks "Lock computer".
  StatusMenu(AgentState& state, std::function<void()> lock_computer, QObject* parent = nullptr);
  ~StatusMenu() override;

  void SetAppMenuItem(int32_t pid, const std::string& name, double credit_value);
  void RemoveAppMenuItem(int32_t pid);
  void SetDiskMenuItem(bool has_quota, int64_t quota_bytes, int64_t used_bytes);
  void RefreshAppMenuItems();
  // First step of every tick: refreshes while the menu asked for it.
  void TickStatusMenu();
  // Shows or hides the eye (Control+Alt+H).
  void ToggleStatusItem();

  bool IsStatusItemShown() const { return shown_; }
  QMenu* menu() const { return menu_.get(); }
  QSystemTrayIcon* trayIcon() const { return tray_.get(); }
  const StatusMenuModel& model() const { return model_; }

 private:
  void Sync();

  AgentState& state_;
  std::function<void()> lock_computer_;
  StatusMenuModel model_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  QAction* lock_action_ = nullptr;
  std::vector<StatusMenuLine> shown_lines_;
  bool shown_ = true;
};

}  // namespace corvane
