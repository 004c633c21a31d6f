// The top row of the window: which server, how to find or name one, and
// whether the last request reached it.
#pragma once

#include <QWidget>

#include "AdminClient.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace corvane::admin {

class ServerBar : public QWidget {
  Q_OBJECT
 public:
  ServerBar(AdminClient& client, QWidget* parent = nullptr);

  // Browses DNS-SD for a few seconds and lists what answered; connects when
  // exactly one did.
  void FindServers();
  // "host", "host:port", "[v6]:port", or "" for the first server DNS-SD
  // finds. True when the server answered.
  bool ConnectTo(const QString& text);
  // After every request: whether it reached the server, and why not.
  void ShowState(bool reached, const QString& why = {});
  QString state_text() const;
  bool connected() const { return connected_; }

 signals:
  void connectedToServer();

 private:
  AdminClient& client_;
  QComboBox* servers_;
  QPushButton* find_;
  QPushButton* connect_;
  QLabel* state_;
  QString server_;
  bool connected_ = false;
};

}  // namespace corvane::admin
