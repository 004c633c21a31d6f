// The small editors of the limits page: hours and minutes, an allowed time
// range, a size with its unit.
#pragma once

#include <QWidget>
#include <initializer_list>
#include <vector>

#include "ChildLimits.h"

class QCheckBox;
class QComboBox;
class QSpinBox;
class QTimeEdit;

namespace corvane::admin {

class DurationEdit : public QWidget {
  Q_OBJECT
 public:
  explicit DurationEdit(int max_minutes, QWidget* parent = nullptr);
  int32_t minutes() const;
  void setMinutes(int32_t minutes);
  QSpinBox* hours_box() const { return hours_; }

 signals:
  void changed();

 private:
  QSpinBox* hours_;
  QSpinBox* minutes_;
};

// An editor whose check box turns the controls beside it on and off.
class SwitchedEdit : public QWidget {
  Q_OBJECT
 public:
  QCheckBox* switch_box() const { return on_; }

 signals:
  void changed();

 protected:
  SwitchedEdit(const QString& switch_text, QWidget* parent);
  // The controls the check box enables; toggling it also counts as a change.
  void SetSwitched(std::initializer_list<QWidget*> controls);
  // Sets the check box, and the controls to match, without a change signal.
  void SetSwitchOn(bool on);

  QCheckBox* on_;

 private:
  std::vector<QWidget*> controls_;
};

class ClockRangeEdit : public SwitchedEdit {
  Q_OBJECT
 public:
  explicit ClockRangeEdit(QWidget* parent = nullptr);
  ClockRange range() const;
  void setRange(const ClockRange& range);

 private:
  QTimeEdit* from_;
  QTimeEdit* to_;
  // 24:00, which the time editors cannot show, kept while untouched.
  bool to_midnight_ = false;
};

class SizeEdit : public SwitchedEdit {
  Q_OBJECT
 public:
  explicit SizeEdit(QWidget* parent = nullptr);
  void get(ChildLimits* limits) const;
  void set(const ChildLimits& limits);

 private:
  QSpinBox* value_;
  QComboBox* unit_;
};

}  // namespace corvane::admin
