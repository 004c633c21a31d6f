// What c5admin prints: settings as a table or JSON, per-day usage as a table
// or JSON, and the usage chart as SVG.
#pragma once

#include <string>
#include <vector>

#include "AppSettings.h"

namespace corvane::admin {

struct AppRow {
  std::string app;
  AppSettings settings;
};

// "2h", "45m", "1h 30m", "0m"; negative counts keep their sign.
std::string ShortDuration(int64_t minutes);
// "computer", "global" and "otherApps" for the keys with a meaning of their own.
std::string AppLabel(const std::string& app);

std::string SettingsTable(const std::string& user, const std::vector<AppRow>& rows);
std::string SettingsJson(const std::string& user, const std::vector<AppRow>& rows);

struct DayUsage {
  std::string date;  // YYYY-MM-DD
  int64_t minutes = 0;
};
std::string StatsTable(const std::string& user, const std::string& app,
                       const std::vector<DayUsage>& days);
std::string StatsJson(const std::string& user, const std::string& app,
                      const std::vector<DayUsage>& days);
// A bar chart, one bar per day, days on x and minutes on y, both labelled.
std::string StatsChartSvg(const std::string& user, const std::string& app,
                          const std::vector<DayUsage>& days);

// JSON string literal of `text` (quotes included).
std::string JsonString(const std::string& text);

}  // namespace corvane::admin
