#include "AdminMainWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "AppIcon.h"
#include "LimitsPage.h"
#include "ServerBar.h"
#include "Text.h"
#include "UsagePage.h"

namespace corvane::admin {

AdminMainWindow::AdminMainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(T("Admin.Window.Title"));
  QIcon icon;
  icon.addFile(":/corvane/corvane5-admin-64.png");
  icon.addFile(":/corvane/corvane5-admin-128.png");
  setWindowIcon(QIcon::fromTheme("corvane5-admin", icon));
  entries_ = LoadDesktopEntries();
  auto report = [this](bool reached, const QString& why) { Report(reached, why); };

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  server_ = new ServerBar(client_);
  layout->addWidget(server_);

  auto* split = new QSplitter;
  auto* left = new QWidget;
  auto* left_layout = new QVBoxLayout(left);
  left_layout->setContentsMargins(0, 0, 0, 0);
  auto* children_label = new QLabel(T("Admin.Children.Label"));
  child_list_ = new QListWidget;
  child_list_->setObjectName("children");
  child_list_->setIconSize(QSize(24, 24));
  child_list_->setSpacing(2);
  children_label->setBuddy(child_list_);
  new_child_ = new QLineEdit;
  new_child_->setPlaceholderText(T("Admin.Children.AddPlaceholder"));
  new_child_->setAccessibleName(T("Admin.Children.AddName"));
  auto* add_child = new QPushButton(T("Admin.Children.Add"));
  auto* add_row = new QHBoxLayout;
  add_row->addWidget(new_child_, 1);
  add_row->addWidget(add_child);
  auto* hint = new QLabel(T("Admin.Children.Hint"));
  hint->setWordWrap(true);
  hint->setForegroundRole(QPalette::PlaceholderText);
  left_layout->addWidget(children_label);
  left_layout->addWidget(child_list_, 1);
  left_layout->addLayout(add_row);
  left_layout->addWidget(hint);
  split->addWidget(left);

  pages_ = new QTabWidget;
  limits_ = new LimitsPage(client_, entries_, report);
  usage_ = new UsagePage(client_, entries_, report);
  pages_->addTab(limits_, T("Admin.Page.Limits"));
  pages_->addTab(usage_, T("Admin.Page.Usage"));
  split->addWidget(pages_);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 4);
  split->setSizes({260, 1000});
  layout->addWidget(split, 1);
  setCentralWidget(central);

  connect(server_, &ServerBar::connectedToServer, this, &AdminMainWindow::LoadChildren);
  connect(child_list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row < static_cast<int>(children_.size())) {
      SelectChild(children_[static_cast<size_t>(row)].name);
    }
  });
  connect(add_child, &QPushButton::clicked, this, [this] { AddChild(new_child_->text()); });
  connect(new_child_, &QLineEdit::returnPressed, this, [this] { AddChild(new_child_->text()); });
  connect(limits_, &LimitsPage::appsChanged, this,
          [this] { usage_->ShowChild(child_, limits_->apps()); });
  // Keys for the pages besides Ctrl+Tab.
  for (int i = 0; i < 2; ++i) {
    auto* key = new QShortcut(QKeySequence(Qt::ALT | (Qt::Key_1 + i)), this);
    connect(key, &QShortcut::activated, this, [this, i] { pages_->setCurrentIndex(i); });
  }
  auto* reload = new QShortcut(QKeySequence::Refresh, this);
  connect(reload, &QShortcut::activated, this, &AdminMainWindow::LoadChildren);
  // The accounts are known before any server answers.
  ShowChildren({});
}

void AdminMainWindow::Report(bool reached, const QString& why) { server_->ShowState(reached, why); }

void AdminMainWindow::LoadChildren() {
  std::vector<LocalAccount> accounts = LocalAccounts(kFirstPersonUid);
  // No query lists the users the server files; ask for each one known, and
  // stop at the first unanswered request rather than wait on each name.
  std::vector<std::string> names = typed_;
  for (const LocalAccount& a : accounts) names.push_back(a.name);
  std::vector<std::string> filed;
  for (const std::string& n : names) {
    auto apps = client_.EnabledApps(n);
    if (!client_.reached()) break;
    if (apps && !apps->empty()) filed.push_back(n);
  }
  if (!names.empty()) Report(client_.reached(), QString::fromStdString(client_.error()));
  ShowChildren(filed);
}

void AdminMainWindow::ShowChildren(const std::vector<std::string>& filed) {
  children_ = MergeChildren(LocalAccounts(kFirstPersonUid), filed, typed_, NonWatchedAccountName());
  QSignalBlocker block(child_list_);
  child_list_->clear();
  int current = -1;
  for (const Child& c : children_) {
    QString text = QString::fromStdString(c.full_name);
    if (c.full_name != c.name) text += " (" + QString::fromStdString(c.name) + ")";
    if (c.non_watched) text += " — " + T("Admin.Children.NonWatched");
    else if (c.filed) text += " — " + T("Admin.Children.Filed");
    auto* item = new QListWidgetItem(AppIcon("user-identity"), text);
    child_list_->addItem(item);
    if (c.name == child_) current = child_list_->count() - 1;
  }
  if (current >= 0) child_list_->setCurrentRow(current);
}

void AdminMainWindow::AddChild(const QString& name) {
  std::string n = name.trimmed().toStdString();
  if (n.empty()) return;
  if (std::find(typed_.begin(), typed_.end(), n) == typed_.end()) typed_.push_back(n);
  new_child_->clear();
  child_ = n;
  LoadChildren();
  SelectChild(n);
}

void AdminMainWindow::SelectChild(const std::string& name) {
  child_ = name;
  for (size_t i = 0; i < children_.size(); ++i) {
    if (children_[i].name == name) {
      QSignalBlocker block(child_list_);
      child_list_->setCurrentRow(static_cast<int>(i));
    }
  }
  limits_->ShowChild(name);
}

}  // namespace corvane::admin
