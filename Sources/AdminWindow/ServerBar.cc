#include "ServerBar.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "LoaderTransport.h"
#include "ServerBrowsing.h"
#include "Text.h"

namespace corvane::admin {
namespace {

constexpr double kBrowseSeconds = 2.0;

QString AddressWithPort(const FoundServer& s) {
  QString host = QString::fromStdString(s.address);
  if (host.contains(':')) host = "[" + host + "]";
  return host + ":" + QString::number(s.port);
}

}  // namespace

ServerBar::ServerBar(AdminClient& client, QWidget* parent) : QWidget(parent), client_(client) {
  auto* row = new QHBoxLayout(this);
  auto* label = new QLabel(T("Admin.Server.Label"));
  servers_ = new QComboBox;
  servers_->setEditable(true);
  servers_->setMinimumContentsLength(34);
  servers_->lineEdit()->setPlaceholderText(T("Admin.Server.Placeholder"));
  label->setBuddy(servers_);
  find_ = new QPushButton(T("Admin.Server.Find"));
  connect_ = new QPushButton(T("Admin.Server.Connect"));
  state_ = new QLabel;
  state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  state_->setObjectName("connectionState");
  row->addWidget(label);
  row->addWidget(servers_, 1);
  row->addWidget(find_);
  row->addWidget(connect_);
  row->addWidget(state_, 2);
  connect(find_, &QPushButton::clicked, this, &ServerBar::FindServers);
  connect(connect_, &QPushButton::clicked, this, [this] { ConnectTo(servers_->currentData().isValid()
                                                                        ? servers_->currentData().toString()
                                                                        : servers_->currentText()); });
  connect(servers_->lineEdit(), &QLineEdit::returnPressed, connect_, &QPushButton::click);
  ShowState(false, T("Admin.Server.NotYet"));
}

void ServerBar::FindServers() {
  state_->setText(T("Admin.Server.Looking"));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QApplication::processEvents();
  std::vector<FoundServer> found = BrowseAllServers(kBrowseSeconds);
  QApplication::restoreOverrideCursor();
  servers_->clear();
  for (const FoundServer& s : found) {
    QString host = QString::fromStdString(s.host_name.empty() ? s.address : s.host_name);
    servers_->addItem(TF("Admin.Server.Found", {QString::fromStdString(s.name), host,
                                                AddressWithPort(s)}),
                      AddressWithPort(s));
  }
  if (found.empty()) {
    ShowState(false, T("Admin.Server.NoneFound"));
  } else if (found.size() == 1) {
    ConnectTo(servers_->itemData(0).toString());
  } else {
    ShowState(false, TF("Admin.Server.Several", {QString::number(found.size())}));
    servers_->setFocus();
  }
}

bool ServerBar::ConnectTo(const QString& text) {
  QString trimmed = text.trimmed();
  if (!trimmed.isEmpty()) {
    auto address = ParseServerAddress(trimmed.toStdString());
    if (!address) {
      ShowState(false, TF("Admin.Server.BadAddress", {trimmed}));
      return false;
    }
    if (!UseAdminServer(*address)) {
      ShowState(false, TF("Admin.Server.NoAddress", {QString::fromStdString(address->host)}));
      return false;
    }
    if (servers_->findData(trimmed) < 0 && servers_->findText(trimmed) < 0) {
      servers_->addItem(trimmed, trimmed);
    }
  }
  // A server found on the network is named as the list names it.
  int listed = servers_->findData(trimmed);
  server_ = trimmed.isEmpty() ? T("Admin.Server.Discovered")
            : listed >= 0     ? servers_->itemText(listed)
                              : trimmed;
  // Any query tells whether the server answers; an unknown user has none.
  bool reached = client_.EnabledApps("").has_value();
  ShowState(reached, QString::fromStdString(client_.error()));
  if (reached) emit connectedToServer();
  return reached;
}

void ServerBar::ShowState(bool reached, const QString& why) {
  connected_ = reached && !server_.isEmpty();
  // Words first: the colour only repeats them.
  QString dot = connected_ ? "<span style='color:#2e9d49'>&#9679;</span> "
                           : "<span style='color:#d0393e'>&#9679;</span> ";
  QString words = connected_ ? TF("Admin.Server.Connected", {server_})
                             : why.isEmpty() ? T("Admin.Server.NotConnected")
                                             : TF("Admin.Server.Failed", {why});
  state_->setText(dot + words.toHtmlEscaped());
  state_->setAccessibleName(words);
}

QString ServerBar::state_text() const { return state_->accessibleName(); }

}  // namespace corvane::admin
