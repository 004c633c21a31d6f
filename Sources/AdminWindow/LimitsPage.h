// The limits of the chosen child: the computer, the account and every
// watched application with the credit left today, and the editors of the one
// picked. Changes go to the server through AdminClient and are read back.
#pragma once

#include <QWidget>
#include <functional>
#include <map>

#include "AdminClient.h"
#include "ChildLimits.h"
#include "DesktopEntries.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace corvane::admin {

class ClockRangeEdit;
class DurationEdit;
class SizeEdit;

// Called after every request: whether it reached the server, and why not.
using RequestReport = std::function<void(bool reached, const QString& why)>;

class LimitsPage : public QWidget {
  Q_OBJECT
 public:
  LimitsPage(AdminClient& client, const std::vector<DesktopEntry>& entries, RequestReport report,
             QWidget* parent = nullptr);

  void ShowChild(const std::string& user);
  void SelectApp(const std::string& app);
  // Adds an application key to the child's list (saved with the next Save).
  void AddApp(const std::string& app);
  const std::vector<std::string>& apps() const { return apps_; }

  // The editors' values; SetLimits fills them as a parent would.
  ChildLimits Limits() const;
  void SetLimits(const ChildLimits& limits);
  // Sends the editors' values; true when the server stored them.
  bool Save();
  // Gives `minutes` more credit at once; true when the server stored it.
  bool Grant(int32_t minutes);
  QString message() const;

 signals:
  void appsChanged();

 private:
  void LoadApp();
  void ShowStored(const AppSettings& s, bool filed);
  void ShowMessage(const QString& text, bool trouble);
  // Reports the outcome of a save and shows what the server holds.
  bool Saved(SaveOutcome outcome, const AppSettings& stored);
  void RefreshItem(const std::string& app, const AppSettings& s);
  void ChooseApplication();

  AdminClient& client_;
  const std::vector<DesktopEntry>& entries_;
  RequestReport report_;
  std::string user_;
  std::string app_;
  std::vector<std::string> apps_;
  std::map<std::string, std::vector<std::string>> added_;  // per child, not yet saved
  AppSettings before_;

  QListWidget* list_;
  QPushButton* add_;
  QGroupBox* editor_;
  QCheckBox* watched_;
  QLabel* credit_left_;
  DurationEdit* credit_;
  QWidget* grant_row_;
  QSpinBox* custom_;
  DurationEdit* weekday_;
  DurationEdit* weekend_;
  QCheckBox* carry_over_;
  ClockRangeEdit* weekday_curfew_;
  ClockRangeEdit* weekend_curfew_;
  SizeEdit* quota_;
  QLabel* message_;
  QPushButton* save_;
  QPushButton* revert_;
  std::vector<QWidget*> time_rows_;  // hidden for the account
  std::vector<QWidget*> quota_rows_;  // shown only for the account
};

}  // namespace corvane::admin
