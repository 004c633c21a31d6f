#include "UsagePage.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include "AppNames.h"
#include "Platform/System/FileSystem.h"
#include "Text.h"

namespace corvane::admin {
namespace {

QString Label(const DayUsage& d, UsageSpan span) {
  DayLabel l = LabelOfDate(d.date, span);
  if (l.day == 0) return QString::fromStdString(d.date);
  if (span == UsageSpan::kMonth) return QString::number(l.day);
  return T(l.weekday_key) + " " + QString::number(l.day);
}

bool DarkPalette(const QPalette& p) { return p.color(QPalette::Window).lightness() < 128; }

}  // namespace

UsagePage::UsagePage(AdminClient& client, const std::vector<DesktopEntry>& entries,
                     RequestReport report, QWidget* parent)
    : QWidget(parent), client_(client), entries_(entries), report_(std::move(report)) {
  auto* page = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* app_label = new QLabel(T("Admin.Usage.App"));
  app_ = new QComboBox;
  app_->setMinimumContentsLength(24);
  app_label->setBuddy(app_);
  week_ = new QRadioButton(T("Admin.Usage.Week"));
  month_ = new QRadioButton(T("Admin.Usage.Month"));
  week_->setChecked(true);
  auto* spans = new QButtonGroup(this);
  spans->addButton(week_);
  spans->addButton(month_);
  auto* png = new QPushButton(T("Admin.Usage.ExportPng"));
  auto* svg = new QPushButton(T("Admin.Usage.ExportSvg"));
  top->addWidget(app_label);
  top->addWidget(app_, 1);
  top->addSpacing(16);
  top->addWidget(week_);
  top->addWidget(month_);
  top->addStretch();
  top->addWidget(png);
  top->addWidget(svg);
  page->addLayout(top);

  chart_ = new QChart;
  chart_->legend()->hide();
  chart_->setAnimationOptions(QChart::NoAnimation);
  // One pair of axes for the page's life; each drawing refills them.
  days_axis_ = new QBarCategoryAxis;
  minutes_axis_ = new QValueAxis;
  minutes_axis_->setLabelFormat("%d");
  minutes_axis_->setTitleText(T("Admin.Usage.Minutes"));
  chart_->addAxis(days_axis_, Qt::AlignBottom);
  chart_->addAxis(minutes_axis_, Qt::AlignLeft);
  view_ = new QChartView(chart_);
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setFocusPolicy(Qt::NoFocus);
  page->addWidget(view_, 1);
  total_ = new QLabel;
  total_->setObjectName("usageTotal");
  total_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  hover_ = new QLabel(T("Admin.Usage.HoverHint"));
  hover_->setObjectName("usageHover");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(total_, 1);
  bottom->addWidget(hover_);
  page->addLayout(bottom);

  connect(app_, &QComboBox::currentIndexChanged, this, &UsagePage::Reload);
  connect(week_, &QRadioButton::toggled, this, &UsagePage::Reload);
  connect(png, &QPushButton::clicked, this, [this] {
    QString path = QFileDialog::getSaveFileName(this, T("Admin.Usage.ExportPng"), "usage.png",
                                                "PNG (*.png)");
    if (!path.isEmpty()) ExportPng(path);
  });
  connect(svg, &QPushButton::clicked, this, [this] {
    QString path = QFileDialog::getSaveFileName(this, T("Admin.Usage.ExportSvg"), "usage.svg",
                                                "SVG (*.svg)");
    if (!path.isEmpty()) ExportSvg(path);
  });
}

void UsagePage::ShowChild(const std::string& user, const std::vector<std::string>& apps) {
  user_ = user;
  apps_.clear();
  QSignalBlocker block(app_);
  app_->clear();
  for (const std::string& a : apps) {
    // The account's settings have no minutes of their own.
    if (KindOfApp(a) == LimitsKind::kAccount) continue;
    app_->addItem(TitleText(TitleOfApp(a, entries_)));
    apps_.push_back(a);
  }
  Reload();
}

void UsagePage::ShowApp(const std::string& app, UsageSpan span) {
  auto it = std::find(apps_.begin(), apps_.end(), app);
  QSignalBlocker a(app_), b(week_), c(month_);
  if (it != apps_.end()) app_->setCurrentIndex(static_cast<int>(it - apps_.begin()));
  (span == UsageSpan::kWeek ? week_ : month_)->setChecked(true);
  Reload();
}

void UsagePage::Reload() {
  days_.clear();
  int i = app_->currentIndex();
  if (!user_.empty() && i >= 0 && i < static_cast<int>(apps_.size())) {
    int count = static_cast<int>(week_->isChecked() ? UsageSpan::kWeek : UsageSpan::kMonth);
    auto days = client_.Usage(user_, apps_[static_cast<size_t>(i)], count);
    report_(client_.reached(), QString::fromStdString(client_.error()));
    if (days) days_ = *days;
  }
  Draw();
}

void UsagePage::Draw() {
  UsageSpan span = week_->isChecked() ? UsageSpan::kWeek : UsageSpan::kMonth;
  chart_->removeAllSeries();
  chart_->setTheme(DarkPalette(palette()) ? QChart::ChartThemeDark : QChart::ChartThemeLight);
  chart_->setBackgroundBrush(palette().window());
  chart_->setTitleBrush(palette().windowText());
  auto* series = new QBarSeries;
  bars_ = new QBarSet(T("Admin.Usage.Minutes"));
  bars_->setColor(palette().color(QPalette::Highlight));
  QStringList labels;
  for (const DayUsage& d : days_) {
    *bars_ << static_cast<qreal>(d.minutes);
    labels << Label(d, span);
  }
  series->append(bars_);
  series->setBarWidth(span == UsageSpan::kWeek ? 0.6 : 0.8);
  // A week's values fit above their bars; a month's are read by hovering.
  series->setLabelsVisible(span == UsageSpan::kWeek);
  series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
  series->setLabelsFormat("@value");
  bars_->setLabelColor(palette().color(QPalette::WindowText));
  chart_->addSeries(series);
  days_axis_->clear();
  days_axis_->append(labels);
  UsageSummary sum = Summarize(days_);
  int64_t top = AxisTop(sum.most);
  // A line every hour, or every few hours on a busy month; never below the
  // highest bar.
  int64_t hours = top / 60, step = (hours + 7) / 8, lines = (hours + step - 1) / step;
  minutes_axis_->setTickCount(static_cast<int>(lines) + 1);
  minutes_axis_->setRange(0, static_cast<qreal>(lines * step * 60));
  for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(days_axis_),
                              static_cast<QAbstractAxis*>(minutes_axis_)}) {
    axis->setLabelsBrush(palette().windowText());
    axis->setTitleBrush(palette().windowText());
  }
  series->attachAxis(days_axis_);
  series->attachAxis(minutes_axis_);
  int i = app_->currentIndex();
  chart_->setTitle(i < 0 ? QString()
                         : TF(span == UsageSpan::kWeek ? "Admin.Usage.TitleWeek"
                                                       : "Admin.Usage.TitleMonth",
                              {app_->currentText(), QString::fromStdString(user_)}));
  total_->setText(days_.empty() ? QString()
                                : TF("Admin.Usage.Total",
                                     {Duration(sum.total), Duration(sum.average), Duration(sum.most)}));
  connect(bars_, &QBarSet::hovered, this, [this](bool on, int index) {
    if (!on || index < 0 || index >= static_cast<int>(days_.size())) {
      hover_->setText(T("Admin.Usage.HoverHint"));
      return;
    }
    const DayUsage& d = days_[static_cast<size_t>(index)];
    hover_->setText(TF("Admin.Usage.Hover", {QString::fromStdString(d.date), Duration(d.minutes)}));
  });
}

void UsagePage::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) Draw();
}

bool UsagePage::ExportPng(const QString& path) { return view_->grab().save(path, "PNG"); }

bool UsagePage::ExportSvg(const QString& path) {
  int i = app_->currentIndex();
  if (i < 0) return false;
  std::string svg = StatsChartSvg(user_, apps_[static_cast<size_t>(i)], days_);
  return WriteFileAtomically(path.toStdString(), svg).ok();
}

}  // namespace corvane::admin
