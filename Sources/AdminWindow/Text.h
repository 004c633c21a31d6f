// Catalogue texts as Qt strings.
#pragma once

#include <QString>
#include <initializer_list>
#include <string>
#include <vector>

#include "AppNames.h"
#include "Localization.h"

namespace corvane::admin {

inline QString T(const char* key) { return QString::fromStdString(LocalizedString(key)); }

inline QString TF(const char* key, std::initializer_list<QString> args) {
  std::vector<std::string> texts;
  for (const QString& a : args) texts.push_back(a.toStdString());
  return QString::fromStdString(FormatLocalized(key, texts));
}

// An application's title as shown: a catalogue text or its own name.
inline QString TitleText(const AppTitle& t) {
  return t.localize ? T(t.text.c_str()) : QString::fromStdString(t.text);
}

// "1h 30m" in the catalogue's unit words.
inline QString Duration(int64_t minutes) {
  if (minutes < 0) return "-" + Duration(-minutes);
  int64_t h = minutes / 60, m = minutes % 60;
  if (h == 0) return TF("Admin.Minutes", {QString::number(m)});
  if (m == 0) return TF("Admin.Hours", {QString::number(h)});
  return TF("Admin.HoursMinutes", {QString::number(h), QString::number(m)});
}

}  // namespace corvane::admin
