#include "StatusMenu.h"

#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>

// The icon lives in the library's resources; a static library must load
// them by name (outside any namespace).
static void LoadStatusMenuResources() { Q_INIT_RESOURCE(StatusMenu); }

namespace corvane {
namespace {

bool SameShape(const std::vector<StatusMenuLine>& a, const std::vector<StatusMenuLine>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || a[i].key != b[i].key) return false;
  }
  return true;
}

}  // namespace

StatusMenu::StatusMenu(AgentState& state, std::function<void()> lock_computer, QObject* parent)
    : QObject(parent), state_(state), lock_computer_(std::move(lock_computer)) {
  LoadStatusMenuResources();
  menu_ = std::make_unique<QMenu>();
  // The credit lines are information, not commands, hence disabled; the
  // style's washed-out grey for that is too faint to read at a glance.
  QPalette palette = menu_->palette();
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, QColor(64, 64, 64));
  menu_->setPalette(palette);
  lock_action_ = new QAction(this);
  connect(lock_action_, &QAction::triggered, this, [this] {
    if (lock_computer_) lock_computer_();
  });
  connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
    model_.MenuWillOpen(state_.watched_apps);
    Sync();
  });
  Sync();

  QIcon eye;
  eye.addFile(QStringLiteral(":/corvane/eye.png"), QSize(22, 22));
  eye.addFile(QStringLiteral(":/corvane/eye@2x.png"), QSize(44, 44));
  tray_ = std::make_unique<QSystemTrayIcon>(eye);
  tray_->setToolTip(QStringLiteral("Corvane 5"));
  tray_->setContextMenu(menu_.get());
  // A left click opens the menu too, as the menu-bar item it stands for;
  // at the pointer, since an embedded icon's geometry is the tray's, not
  // the screen's.
  connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    // Just under the pointer's line, so the menu does not hide the eye.
    if (r == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos() + QPoint(0, 14));
  });
  tray_->show();
}

StatusMenu::~StatusMenu() {
  tray_.reset();  // before the menu it points at
}

void StatusMenu::SetAppMenuItem(int32_t pid, const std::string& name, double credit_value) {
  model_.SetAppMenuItem(pid, name, credit_value);
  Sync();
}

void StatusMenu::RemoveAppMenuItem(int32_t pid) {
  model_.RemoveAppMenuItem(pid);
  Sync();
}

void StatusMenu::SetDiskMenuItem(bool has_quota, int64_t quota_bytes, int64_t used_bytes) {
  model_.SetDiskMenuItem(has_quota, quota_bytes, used_bytes);
  Sync();
}

void StatusMenu::RefreshAppMenuItems() {
  model_.RefreshAppMenuItems(state_.watched_apps);
  Sync();
}

void StatusMenu::TickStatusMenu() {
  if (model_.Tick(state_.watched_apps)) Sync();
}

void StatusMenu::ToggleStatusItem() {
  shown_ = !shown_;
  tray_->setVisible(shown_);
}

// Titles change in place; a line added or removed rebuilds the menu, which
// is a handful of actions.
void StatusMenu::Sync() {
  std::vector<StatusMenuLine> lines = model_.Lines();
  if (!SameShape(lines, shown_lines_)) {
    menu_->clear();
    for (const StatusMenuLine& line : lines) {
      if (line.kind == StatusMenuLine::kSeparator) {
        menu_->addSeparator();
      } else if (line.kind == StatusMenuLine::kLock) {
        menu_->addAction(lock_action_);
      } else {
        menu_->addAction(QString())->setEnabled(false);
      }
    }
  }
  const QList<QAction*> actions = menu_->actions();
  for (size_t i = 0; i < lines.size() && i < static_cast<size_t>(actions.size()); ++i) {
    if (lines[i].kind == StatusMenuLine::kSeparator) continue;
    actions[i]->setText(QString::fromStdString(lines[i].title));
  }
  shown_lines_ = std::move(lines);
}

}  // namespace corvane
