// The small editors of the limits page: hours and minutes, an allowed time
// range, a size with its unit.
#pragma once

#include <QWidget>

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

class ClockRangeEdit : public QWidget {
  Q_OBJECT
 public:
  explicit ClockRangeEdit(QWidget* parent = nullptr);
  ClockRange range() const;
  void setRange(const ClockRange& range);
  QCheckBox* switch_box() const { return on_; }

 signals:
  void changed();

 private:
  QCheckBox* on_;
  QTimeEdit* from_;
  QTimeEdit* to_;
  // 24:00, which the time editors cannot show, kept while untouched.
  bool to_midnight_ = false;
};

class SizeEdit : public QWidget {
  Q_OBJECT
 public:
  explicit SizeEdit(QWidget* parent = nullptr);
  void get(ChildLimits* limits) const;
  void set(const ChildLimits& limits);
  QCheckBox* switch_box() const { return on_; }

 signals:
  void changed();

 private:
  QCheckBox* on_;
  QSpinBox* value_;
  QComboBox* unit_;
};

}  // namespace corvane::admin
