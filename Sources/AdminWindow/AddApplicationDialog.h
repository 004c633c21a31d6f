// Picks an application to watch: an installed one by name and icon, or an
// ID typed for another machine's application.
#pragma once

#include <QDialog>

#include "DesktopEntries.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace corvane::admin {

class AddApplicationDialog : public QDialog {
  Q_OBJECT
 public:
  AddApplicationDialog(const std::vector<DesktopEntry>& choices, QWidget* parent = nullptr);
  // The key of the application picked, "" when none.
  std::string chosen() const;
  QLineEdit* filter() const { return filter_; }

 private:
  void Filter(const QString& text);
  void UpdateOk();

  QLineEdit* filter_;
  QListWidget* list_;
  QLineEdit* id_;
  QPushButton* ok_;
};

}  // namespace corvane::admin
