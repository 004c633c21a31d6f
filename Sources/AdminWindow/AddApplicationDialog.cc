#include "AddApplicationDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "AppIcon.h"
#include "AppNames.h"
#include "Text.h"

namespace corvane::admin {

AddApplicationDialog::AddApplicationDialog(const std::vector<DesktopEntry>& choices,
                                           QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(T("Admin.AddApp.Title"));
  auto* layout = new QVBoxLayout(this);
  auto* filter_label = new QLabel(T("Admin.AddApp.Filter"));
  filter_ = new QLineEdit;
  filter_->setClearButtonEnabled(true);
  filter_label->setBuddy(filter_);
  list_ = new QListWidget;
  list_->setIconSize(QSize(32, 32));
  list_->setSpacing(2);
  list_->setMinimumSize(420, 360);
  for (const DesktopEntry& e : choices) {
    auto* item = new QListWidgetItem(AppIcon(e.icon), QString::fromStdString(e.name));
    item->setData(Qt::UserRole, QString::fromStdString(e.id));
    item->setToolTip(QString::fromStdString(e.id));
    list_->addItem(item);
  }
  auto* id_label = new QLabel(T("Admin.AddApp.ById"));
  id_ = new QLineEdit;
  id_->setPlaceholderText(T("Admin.AddApp.IdPlaceholder"));
  id_label->setBuddy(id_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setText(T("Admin.AddApp.Add"));
  buttons->button(QDialogButtonBox::Cancel)->setText(T("Admin.Cancel"));
  layout->addWidget(filter_label);
  layout->addWidget(filter_);
  layout->addWidget(list_, 1);
  layout->addWidget(id_label);
  layout->addWidget(id_);
  layout->addWidget(buttons);
  connect(filter_, &QLineEdit::textChanged, this, &AddApplicationDialog::Filter);
  connect(filter_, &QLineEdit::returnPressed, this, [this] {
    if (!chosen().empty()) accept();
  });
  connect(list_, &QListWidget::currentItemChanged, this, &AddApplicationDialog::UpdateOk);
  connect(list_, &QListWidget::itemActivated, this, &QDialog::accept);
  connect(id_, &QLineEdit::textChanged, this, [this] {
    if (!id_->text().isEmpty()) list_->setCurrentItem(nullptr);
    UpdateOk();
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  UpdateOk();
}

void AddApplicationDialog::Filter(const QString& text) {
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem* item = list_->item(i);
    item->setHidden(!item->text().contains(text, Qt::CaseInsensitive));
  }
  // The first match is picked, so typing and Enter add it.
  QListWidgetItem* current = list_->currentItem();
  if (current == nullptr || current->isHidden()) {
    for (int i = 0; i < list_->count(); ++i) {
      if (!list_->item(i)->isHidden()) {
        list_->setCurrentRow(i);
        break;
      }
    }
  }
  UpdateOk();
}

void AddApplicationDialog::UpdateOk() { ok_->setEnabled(!chosen().empty()); }

std::string AddApplicationDialog::chosen() const {
  std::string id = id_->text().trimmed().toStdString();
  if (!id.empty()) return IsUsableAppKey(id) ? id : "";
  QListWidgetItem* item = list_->currentItem();
  return item != nullptr && !item->isHidden() ? item->data(Qt::UserRole).toString().toStdString()
                                              : "";
}

}  // namespace corvane::admin
