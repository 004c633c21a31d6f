// A week or a month of one application's use as a bar chart, the numbers
// GetStats returns, with the total and export as PNG or SVG.
#pragma once

#include <QWidget>

#include "AdminClient.h"
#include "DesktopEntries.h"
#include "LimitsPage.h"
#include "UsageSeries.h"

class QBarCategoryAxis;
class QBarSet;
class QValueAxis;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QRadioButton;

namespace corvane::admin {

class UsagePage : public QWidget {
  Q_OBJECT
 public:
  UsagePage(AdminClient& client, const std::vector<DesktopEntry>& entries, RequestReport report,
            QWidget* parent = nullptr);

  void ShowChild(const std::string& user, const std::vector<std::string>& apps);
  void ShowApp(const std::string& app, UsageSpan span);
  void Reload();

  const std::vector<DayUsage>& days() const { return days_; }
  QBarSet* bars() const { return bars_; }
  QChart* chart() const { return chart_; }
  bool ExportPng(const QString& path);
  bool ExportSvg(const QString& path);

 protected:
  // The desktop's light or dark palette may change while the window is open.
  void changeEvent(QEvent* event) override;

 private:
  void Draw();
  void Export();

  AdminClient& client_;
  const std::vector<DesktopEntry>& entries_;
  RequestReport report_;
  std::string user_;
  std::vector<std::string> apps_;
  std::vector<DayUsage> days_;

  QComboBox* app_;
  QRadioButton* week_;
  QRadioButton* month_;
  QChart* chart_;
  QBarCategoryAxis* days_axis_;
  QValueAxis* minutes_axis_;
  QChartView* view_;
  QBarSet* bars_ = nullptr;
  QLabel* total_;
  QLabel* hover_;
};

}  // namespace corvane::admin
