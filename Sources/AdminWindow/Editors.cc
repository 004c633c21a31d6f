#include "Editors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimeEdit>

#include "Text.h"

namespace corvane::admin {
namespace {

QHBoxLayout* Row(QWidget* owner) {
  auto* row = new QHBoxLayout(owner);
  row->setContentsMargins(0, 0, 0, 0);
  return row;
}

QTime TimeOf(int32_t minutes) { return QTime(minutes / 60 % 24, minutes % 60); }
int32_t MinutesOf(const QTime& t) { return t.hour() * 60 + t.minute(); }

}  // namespace

DurationEdit::DurationEdit(int max_minutes, QWidget* parent) : QWidget(parent) {
  auto* row = Row(this);
  hours_ = new QSpinBox;
  hours_->setRange(0, max_minutes / 60);
  hours_->setSuffix(T("Admin.Unit.Hours"));
  hours_->setAccessibleName(T("Admin.Unit.HoursName"));
  minutes_ = new QSpinBox;
  minutes_->setRange(0, 59);
  minutes_->setSingleStep(5);
  minutes_->setSuffix(T("Admin.Unit.Minutes"));
  minutes_->setAccessibleName(T("Admin.Unit.MinutesName"));
  row->addWidget(hours_);
  row->addWidget(minutes_);
  row->addStretch();
  for (QSpinBox* b : {hours_, minutes_}) {
    connect(b, &QSpinBox::valueChanged, this, &DurationEdit::changed);
  }
  setFocusProxy(hours_);
}

int32_t DurationEdit::minutes() const { return hours_->value() * 60 + minutes_->value(); }

void DurationEdit::setMinutes(int32_t minutes) {
  QSignalBlocker a(hours_), b(minutes_);
  hours_->setValue(minutes / 60);
  minutes_->setValue(minutes % 60);
}

SwitchedEdit::SwitchedEdit(const QString& switch_text, QWidget* parent)
    : QWidget(parent), on_(new QCheckBox(switch_text)) {
  setFocusProxy(on_);
}

void SwitchedEdit::SetSwitched(std::initializer_list<QWidget*> controls) {
  controls_.assign(controls);
  connect(on_, &QCheckBox::toggled, this, [this](bool on) {
    for (QWidget* w : controls_) w->setEnabled(on);
    emit changed();
  });
}

void SwitchedEdit::SetSwitchOn(bool on) {
  QSignalBlocker block(on_);
  on_->setChecked(on);
  for (QWidget* w : controls_) w->setEnabled(on);
}

ClockRangeEdit::ClockRangeEdit(QWidget* parent)
    : SwitchedEdit(T("Admin.Curfew.On"), parent) {
  auto* row = Row(this);
  from_ = new QTimeEdit;
  to_ = new QTimeEdit;
  for (QTimeEdit* e : {from_, to_}) e->setDisplayFormat("HH:mm");
  from_->setAccessibleName(T("Admin.Curfew.FromName"));
  to_->setAccessibleName(T("Admin.Curfew.ToName"));
  auto* to_label = new QLabel(T("Admin.Curfew.To"));
  to_label->setBuddy(to_);
  row->addWidget(on_);
  row->addWidget(from_);
  row->addWidget(to_label);
  row->addWidget(to_);
  row->addStretch();
  SetSwitched({from_, to_});
  connect(from_, &QTimeEdit::timeChanged, this, &ClockRangeEdit::changed);
  connect(to_, &QTimeEdit::timeChanged, this, [this] {
    to_midnight_ = false;
    emit changed();
  });
}

ClockRange ClockRangeEdit::range() const {
  return {on_->isChecked(), MinutesOf(from_->time()),
          to_midnight_ ? kMaxDayMinutes : MinutesOf(to_->time())};
}

void ClockRangeEdit::setRange(const ClockRange& r) {
  QSignalBlocker b(from_), c(to_);
  from_->setTime(TimeOf(r.start));
  to_midnight_ = r.stop >= kMaxDayMinutes;
  to_->setTime(to_midnight_ ? QTime(23, 59) : TimeOf(r.stop));
  SetSwitchOn(r.on);
}

SizeEdit::SizeEdit(QWidget* parent) : SwitchedEdit(T("Admin.Quota.On"), parent) {
  auto* row = Row(this);
  value_ = new QSpinBox;
  value_->setRange(0, kMaxQuotaMB);
  value_->setAccessibleName(T("Admin.Quota.SizeName"));
  unit_ = new QComboBox;
  unit_->addItem(T("MB"));
  unit_->addItem(T("GB"));
  unit_->setAccessibleName(T("Admin.Quota.UnitName"));
  row->addWidget(on_);
  row->addWidget(value_);
  row->addWidget(unit_);
  row->addStretch();
  SetSwitched({value_, unit_});
  connect(value_, &QSpinBox::valueChanged, this, &SizeEdit::changed);
  connect(unit_, &QComboBox::currentIndexChanged, this, &SizeEdit::changed);
}

void SizeEdit::get(ChildLimits* l) const {
  l->quota_on = on_->isChecked();
  l->quota = value_->value();
  l->quota_unit = unit_->currentIndex() == 1 ? SizeUnit::kGB : SizeUnit::kMB;
}

void SizeEdit::set(const ChildLimits& l) {
  QSignalBlocker b(value_), c(unit_);
  value_->setValue(l.quota);
  unit_->setCurrentIndex(l.quota_unit == SizeUnit::kGB ? 1 : 0);
  SetSwitchOn(l.quota_on);
}

}  // namespace corvane::admin
