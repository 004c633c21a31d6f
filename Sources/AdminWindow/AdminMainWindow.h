// The window: the server bar on top, the children on the left, the limits
// and the usage of the chosen child on two pages.
#pragma once

#include <QMainWindow>

#include "AdminClient.h"
#include "ChildList.h"
#include "DesktopEntries.h"
#include "LoaderTransport.h"

class QLineEdit;
class QListWidget;
class QTabWidget;

namespace corvane::admin {

class LimitsPage;
class ServerBar;
class UsagePage;

class AdminMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit AdminMainWindow(QWidget* parent = nullptr);

  // Lists this machine's accounts and the users a parent added, asking the
  // server which of them have settings.
  void LoadChildren();
  void AddChild(const QString& name);
  void SelectChild(const std::string& name);

  ServerBar* server_bar() const { return server_; }
  LimitsPage* limits() const { return limits_; }
  UsagePage* usage() const { return usage_; }
  QTabWidget* pages() const { return pages_; }
  const std::vector<Child>& children() const { return children_; }

 private:
  void Report(bool reached, const QString& why);
  // Fills the list; `filed` names those with settings on the server.
  void ShowChildren(const std::vector<std::string>& filed);

  LoaderTransport transport_;
  AdminClient client_{transport_};
  std::vector<DesktopEntry> entries_;
  std::vector<Child> children_;
  std::vector<std::string> typed_;
  std::string child_;

  ServerBar* server_;
  QListWidget* child_list_;
  QLineEdit* new_child_;
  QTabWidget* pages_;
  LimitsPage* limits_;
  UsagePage* usage_;
};

}  // namespace corvane::admin
