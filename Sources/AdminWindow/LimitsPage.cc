#include "LimitsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

#include "AddApplicationDialog.h"
#include "AppIcon.h"
#include "AppNames.h"
#include "Editors.h"
#include "Text.h"

namespace corvane::admin {
namespace {

constexpr int kAppRole = Qt::UserRole;
constexpr int kMaxCustomGrant = 12 * 60;

}  // namespace

LimitsPage::LimitsPage(AdminClient& client, const std::vector<DesktopEntry>& entries,
                       RequestReport report, QWidget* parent)
    : QWidget(parent), client_(client), entries_(entries), report_(std::move(report)) {
  auto* page = new QHBoxLayout(this);

  auto* left = new QVBoxLayout;
  auto* list_label = new QLabel(T("Admin.Limits.Apps"));
  list_ = new QListWidget;
  list_->setIconSize(QSize(32, 32));
  list_->setSpacing(3);
  list_->setMinimumWidth(320);
  list_->setMaximumWidth(420);
  list_label->setBuddy(list_);
  add_ = new QPushButton(T("Admin.Limits.AddApp"));
  left->addWidget(list_label);
  left->addWidget(list_, 1);
  left->addWidget(add_);
  page->addLayout(left, 2);

  editor_ = new QGroupBox;
  auto* form = new QFormLayout(editor_);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  auto add_row = [&](const char* key, QWidget* field, std::vector<QWidget*>* group) {
    auto* label = new QLabel(T(key));
    label->setBuddy(field->focusProxy() != nullptr ? field->focusProxy() : field);
    form->addRow(label, field);
    group->push_back(label);
    group->push_back(field);
  };
  watched_ = new QCheckBox(T("Admin.Limits.Watched"));
  form->addRow(watched_);
  time_rows_.push_back(watched_);

  credit_left_ = new QLabel;
  credit_left_->setObjectName("creditLeft");
  QFont big = credit_left_->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  big.setBold(true);
  credit_left_->setFont(big);
  add_row("Admin.Limits.CreditLeft", credit_left_, &time_rows_);

  grant_row_ = new QWidget;
  auto* grants = new QHBoxLayout(grant_row_);
  grants->setContentsMargins(0, 0, 0, 0);
  for (int32_t step : kGrantSteps) {
    auto* b = new QPushButton(TF("Admin.Grant.Step", {QString::number(step)}));
    b->setObjectName(QString("grant%1").arg(step));
    connect(b, &QPushButton::clicked, this, [this, step] { Grant(step); });
    grants->addWidget(b);
  }
  custom_ = new QSpinBox;
  custom_->setRange(-kMaxCustomGrant, kMaxCustomGrant);
  custom_->setValue(10);
  custom_->setSuffix(T("Admin.Unit.Minutes"));
  custom_->setAccessibleName(T("Admin.Grant.CustomName"));
  auto* give = new QPushButton(T("Admin.Grant.Give"));
  give->setObjectName("grantCustom");
  connect(give, &QPushButton::clicked, this, [this] { Grant(custom_->value()); });
  grants->addSpacing(12);
  grants->addWidget(custom_);
  grants->addWidget(give);
  grants->addStretch();
  grant_row_->setFocusProxy(grants->itemAt(0)->widget());
  add_row("Admin.Limits.Grant", grant_row_, &time_rows_);

  credit_ = new DurationEdit(kMaxDayMinutes * 7);
  add_row("Admin.Limits.Credit", credit_, &time_rows_);
  weekday_ = new DurationEdit(kMaxDayMinutes);
  add_row("Admin.Limits.Weekday", weekday_, &time_rows_);
  weekend_ = new DurationEdit(kMaxDayMinutes);
  add_row("Admin.Limits.Weekend", weekend_, &time_rows_);
  carry_over_ = new QCheckBox(T("Admin.Limits.CarryOver"));
  form->addRow(carry_over_);
  time_rows_.push_back(carry_over_);
  weekday_curfew_ = new ClockRangeEdit;
  add_row("Admin.Limits.WeekdayCurfew", weekday_curfew_, &time_rows_);
  weekend_curfew_ = new ClockRangeEdit;
  add_row("Admin.Limits.WeekendCurfew", weekend_curfew_, &time_rows_);
  quota_ = new SizeEdit;
  add_row("Admin.Limits.Quota", quota_, &quota_rows_);

  message_ = new QLabel;
  message_->setObjectName("limitsMessage");
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  form->addRow(message_);
  save_ = new QPushButton(T("Admin.Limits.Save"));
  save_->setObjectName("save");
  save_->setDefault(true);
  revert_ = new QPushButton(T("Admin.Limits.Revert"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(revert_);
  buttons->addWidget(save_);
  form->addRow(buttons);
  page->addWidget(editor_, 3);

  connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    if (item == nullptr) return;
    app_ = item->data(kAppRole).toString().toStdString();
    LoadApp();
  });
  connect(add_, &QPushButton::clicked, this, &LimitsPage::ChooseApplication);
  connect(save_, &QPushButton::clicked, this, &LimitsPage::Save);
  connect(revert_, &QPushButton::clicked, this, &LimitsPage::LoadApp);
  auto* save_key = new QShortcut(QKeySequence::Save, this);
  connect(save_key, &QShortcut::activated, this, &LimitsPage::Save);
  editor_->setEnabled(false);
}

void LimitsPage::ShowChild(const std::string& user) {
  user_ = user;
  app_.clear();
  apps_ = {std::string(kComputerAppKey), std::string(kGlobalSettingsAppKey)};
  auto enabled = client_.EnabledApps(user);
  report_(client_.reached(), QString::fromStdString(client_.error()));
  std::vector<std::string> more = enabled ? *enabled : std::vector<std::string>();
  for (const std::string& a : added_[user]) more.push_back(a);
  for (const std::string& a : more) {
    if (std::find(apps_.begin(), apps_.end(), a) == apps_.end()) apps_.push_back(a);
  }
  QSignalBlocker block(list_);
  list_->clear();
  for (const std::string& app : apps_) {
    AppTitle title = TitleOfApp(app, entries_);
    auto* item = new QListWidgetItem(AppIcon(title.icon), TitleText(title));
    item->setData(kAppRole, QString::fromStdString(app));
    list_->addItem(item);
    auto s = enabled ? client_.Settings(user, app) : std::nullopt;
    if (s) RefreshItem(app, *s);
  }
  editor_->setEnabled(false);
  emit appsChanged();
  if (list_->count() > 0) {
    list_->setCurrentRow(0);
    app_ = apps_.front();
    LoadApp();
  }
}

void LimitsPage::SelectApp(const std::string& app) {
  auto it = std::find(apps_.begin(), apps_.end(), app);
  if (it != apps_.end()) list_->setCurrentRow(static_cast<int>(it - apps_.begin()));
}

void LimitsPage::AddApp(const std::string& app) {
  if (user_.empty() || !IsUsableAppKey(app)) return;
  if (std::find(apps_.begin(), apps_.end(), app) == apps_.end()) {
    added_[user_].push_back(app);
    ShowChild(user_);
  }
  SelectApp(app);
  watched_->setChecked(true);
  ShowMessage(T("Admin.Limits.NewApp"), false);
}

void LimitsPage::ChooseApplication() {
  AddApplicationDialog dialog(ChoosableEntries(entries_, apps_), this);
  if (dialog.exec() == QDialog::Accepted) AddApp(dialog.chosen());
}

void LimitsPage::LoadApp() {
  if (user_.empty() || app_.empty()) return;
  bool filed = false;
  auto s = client_.Settings(user_, app_, &filed);
  report_(client_.reached(), QString::fromStdString(client_.error()));
  editor_->setEnabled(s.has_value());
  if (!s) {
    ShowMessage(TF("Admin.Unreachable", {QString::fromStdString(client_.error())}), true);
    return;
  }
  ShowStored(*s, filed);
  ShowMessage(filed ? QString() : T("Admin.Limits.NothingFiled"), false);
}

void LimitsPage::ShowStored(const AppSettings& s, bool filed) {
  before_ = s;
  LimitsKind kind = KindOfApp(app_);
  editor_->setTitle(TF("Admin.Limits.EditorTitle",
                       {TitleText(TitleOfApp(app_, entries_)), QString::fromStdString(user_)}));
  for (QWidget* w : time_rows_) w->setVisible(kind != LimitsKind::kAccount);
  for (QWidget* w : quota_rows_) w->setVisible(kind == LimitsKind::kAccount);
  grant_row_->setEnabled(filed);
  ChildLimits l = LimitsOfSettings(s);
  credit_left_->setText(Duration(l.credit));
  SetLimits(l);
  RefreshItem(app_, s);
}

void LimitsPage::RefreshItem(const std::string& app, const AppSettings& s) {
  auto it = std::find(apps_.begin(), apps_.end(), app);
  if (it == apps_.end()) return;
  QListWidgetItem* item = list_->item(static_cast<int>(it - apps_.begin()));
  QString title = TitleText(TitleOfApp(app, entries_));
  QString detail;
  if (KindOfApp(app) == LimitsKind::kAccount) {
    ChildLimits l = LimitsOfSettings(s);
    detail = s.dq_enabled ? TF("Admin.Limits.QuotaOf",
                              {QString::number(l.quota),
                               T(l.quota_unit == SizeUnit::kGB ? "GB" : "MB")})
                         : T("Admin.Limits.NoQuota");
  } else {
    detail = s.enabled ? TF("Admin.Limits.LeftToday", {Duration(s.credit)})
                       : T("Admin.Limits.NotWatched");
  }
  item->setText(title + "\n" + detail);
}

ChildLimits LimitsPage::Limits() const {
  ChildLimits l;
  l.watched = watched_->isChecked();
  l.credit = credit_->minutes();
  l.weekday_minutes = weekday_->minutes();
  l.weekend_minutes = weekend_->minutes();
  l.carry_over = carry_over_->isChecked();
  l.weekday_curfew = weekday_curfew_->range();
  l.weekend_curfew = weekend_curfew_->range();
  quota_->get(&l);
  return l;
}

void LimitsPage::SetLimits(const ChildLimits& l) {
  watched_->setChecked(l.watched);
  credit_->setMinutes(l.credit);
  weekday_->setMinutes(l.weekday_minutes);
  weekend_->setMinutes(l.weekend_minutes);
  carry_over_->setChecked(l.carry_over);
  weekday_curfew_->setRange(l.weekday_curfew);
  weekend_curfew_->setRange(l.weekend_curfew);
  quota_->set(l);
}

bool LimitsPage::Save() {
  if (user_.empty() || app_.empty() || !editor_->isEnabled()) return false;
  ChildLimits l = Limits();
  LimitsKind kind = KindOfApp(app_);
  std::vector<const char*> wrong = CheckLimits(l, kind);
  if (!wrong.empty()) {
    QStringList lines;
    for (const char* key : wrong) lines << T(key);
    ShowMessage(lines.join("\n"), true);
    return false;
  }
  AppSettings stored;
  SaveOutcome outcome =
      client_.Save(user_, app_, before_, ApplyChanges(before_, ChangesOfLimits(l, kind)), &stored);
  return Saved(outcome, stored);
}

bool LimitsPage::Grant(int32_t minutes) {
  if (user_.empty() || app_.empty()) return false;
  AppSettings stored;
  return Saved(client_.Grant(user_, app_, minutes, &stored), stored);
}

bool LimitsPage::Saved(SaveOutcome outcome, const AppSettings& stored) {
  report_(client_.reached(), QString::fromStdString(client_.error()));
  switch (outcome) {
    case SaveOutcome::kStored:
      ShowStored(stored, true);
      ShowMessage(T("Admin.Limits.Stored"), false);
      return true;
    case SaveOutcome::kRefused:
      // The parent's entries stay in the editors for another try.
      ShowMessage(T("Admin.Refused"), true);
      return false;
    case SaveOutcome::kNotAsSent:
      ShowStored(stored, true);
      ShowMessage(T("Admin.NotAsSent"), true);
      return false;
    case SaveOutcome::kUnreachable:
      ShowMessage(TF("Admin.Unreachable", {QString::fromStdString(client_.error())}), true);
      return false;
  }
  return false;
}

void LimitsPage::ShowMessage(const QString& text, bool trouble) {
  message_->setText(text);
  message_->setProperty("trouble", trouble);
  // Trouble in the palette's own link colour keeps it readable on light
  // and dark desktops alike.
  message_->setForegroundRole(trouble ? QPalette::Link : QPalette::WindowText);
  QFont f = message_->font();
  f.setBold(trouble);
  message_->setFont(f);
}

QString LimitsPage::message() const { return message_->text(); }

}  // namespace corvane::admin
