#include "AdminReport.h"

#include <algorithm>
#include <cstdio>

#include "AdminUnits.h"

namespace corvane::admin {
namespace {

std::string Curfew(bool enabled, int32_t start, int32_t stop) {
  return enabled ? FormatClock(start) + "-" + FormatClock(stop) : "off";
}

std::string Quota(const AppSettings& s) {
  if (!s.dq_enabled) return "off";
  if (s.dq_value > 0 && s.dq_value % 1024 == 0) return std::to_string(s.dq_value / 1024) + " GB";
  return std::to_string(s.dq_value) + " MB";
}

std::string CurfewJson(bool enabled, int32_t start, int32_t stop) {
  if (!enabled) return "null";
  return "{\"start\": " + JsonString(FormatClock(start)) + ", \"stop\": " +
         JsonString(FormatClock(stop)) + "}";
}

std::string Table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> width;
  for (const auto& row : rows) {
    width.resize(std::max(width.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(width[i] - row[i].size() + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

std::string XmlEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string ShortDuration(int64_t minutes) {
  std::string sign = minutes < 0 ? "-" : "";
  int64_t m = minutes < 0 ? -minutes : minutes;
  if (m >= 60 && m % 60 == 0) return sign + std::to_string(m / 60) + "h";
  if (m >= 60) return sign + std::to_string(m / 60) + "h " + std::to_string(m % 60) + "m";
  return sign + std::to_string(m) + "m";
}

std::string AppLabel(const std::string& app) {
  if (app == kComputerAppKey) return "computer";
  if (app == kGlobalSettingsAppKey) return "global";
  if (app == kOtherAppsKey) return "otherApps";
  return app;
}

std::string SettingsTable(const std::string& user, const std::vector<AppRow>& rows) {
  std::vector<std::vector<std::string>> t = {{"APP", "WATCHED", "CREDIT", "WEEKDAY", "WEEKEND",
                                              "CARRY-OVER", "WEEKDAY CURFEW", "WEEKEND CURFEW",
                                              "DISK QUOTA"}};
  for (const AppRow& r : rows) {
    const AppSettings& s = r.settings;
    t.push_back({AppLabel(r.app), s.enabled ? "yes" : "no", ShortDuration(s.credit),
                 ShortDuration(RefillMinutes(s.auto_update_value, s.auto_update_coeff)),
                 ShortDuration(RefillMinutes(s.we_value, s.we_coeff)), s.report_credit ? "on" : "off",
                 Curfew(s.wd_curfew_enabled, s.wd_start, s.wd_stop),
                 Curfew(s.we_curfew_enabled, s.we_start, s.we_stop), Quota(s)});
  }
  std::string head = "User " + user + "\n";
  if (rows.empty()) return head + "(no watched applications)\n";
  return head + Table(t);
}

std::string SettingsJson(const std::string& user, const std::vector<AppRow>& rows) {
  std::string out = "{\"user\": " + JsonString(user) + ", \"apps\": [";
  for (size_t i = 0; i < rows.size(); ++i) {
    const AppSettings& s = rows[i].settings;
    char next[64];
    std::snprintf(next, sizeof next, "%.17g", s.next_auto_update);
    out += i ? ", " : "";
    out += "{\"app\": " + JsonString(rows[i].app) +
           ", \"enabled\": " + (s.enabled ? "true" : "false") +
           ", \"credit_minutes\": " + std::to_string(s.credit) +
           ", \"weekday_refill_minutes\": " +
           std::to_string(RefillMinutes(s.auto_update_value, s.auto_update_coeff)) +
           ", \"weekend_refill_minutes\": " + std::to_string(RefillMinutes(s.we_value, s.we_coeff)) +
           ", \"carry_over\": " + (s.report_credit ? "true" : "false") +
           ", \"weekday_curfew\": " + CurfewJson(s.wd_curfew_enabled, s.wd_start, s.wd_stop) +
           ", \"weekend_curfew\": " + CurfewJson(s.we_curfew_enabled, s.we_start, s.we_stop) +
           ", \"quota_mb\": " + (s.dq_enabled ? std::to_string(s.dq_value) : "null") +
           ", \"next_refill\": " + next + "}";
  }
  return out + "]}\n";
}

std::string StatsTable(const std::string& user, const std::string& app,
                       const std::vector<DayUsage>& days) {
  std::vector<std::vector<std::string>> t = {{"DAY", "MINUTES"}};
  int64_t total = 0;
  for (const DayUsage& d : days) {
    t.push_back({d.date, std::to_string(d.minutes)});
    total += d.minutes;
  }
  t.push_back({"total", std::to_string(total)});
  return "User " + user + ", " + AppLabel(app) + "\n" + Table(t);
}

std::string StatsJson(const std::string& user, const std::string& app,
                      const std::vector<DayUsage>& days) {
  std::string out = "{\"user\": " + JsonString(user) + ", \"app\": " + JsonString(app) +
                    ", \"days\": [";
  for (size_t i = 0; i < days.size(); ++i) {
    out += (i ? ", " : "") + std::string("{\"date\": ") + JsonString(days[i].date) +
           ", \"minutes\": " + std::to_string(days[i].minutes) + "}";
  }
  return out + "]}\n";
}

std::string StatsChartSvg(const std::string& user, const std::string& app,
                          const std::vector<DayUsage>& days) {
  const int left = 70, right = 20, top = 50, bottom = 90, plot_h = 300;
  const int bar_w = days.size() > 60 ? 8 : 24, gap = days.size() > 60 ? 2 : 6;
  const int plot_w = std::max<int>(200, static_cast<int>(days.size()) * (bar_w + gap) + gap);
  const int width = left + plot_w + right, height = top + plot_h + bottom;
  int64_t max_minutes = 0;
  for (const DayUsage& d : days) max_minutes = std::max(max_minutes, d.minutes);
  // A round scale: the next multiple of 30 minutes (at least one hour).
  int64_t scale = std::max<int64_t>(60, (max_minutes + 29) / 30 * 30);

  char buf[512];
  std::string svg;
  std::snprintf(buf, sizeof buf,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"12\">\n"
                "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                width, height, width, height);
  svg += buf;
  svg += "<text x=\"" + std::to_string(width / 2) + "\" y=\"24\" text-anchor=\"middle\" "
         "font-size=\"16\">" + XmlEscaped("Minutes used by " + user + " in " + AppLabel(app)) +
         "</text>\n";
  // Axes and their labels.
  std::snprintf(buf, sizeof buf,
                "<line class=\"axis\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"black\"/>\n"
                "<line class=\"axis\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"black\"/>\n"
                "<text class=\"axis-label\" x=\"%d\" y=\"%d\" text-anchor=\"middle\">Day</text>\n"
                "<text class=\"axis-label\" x=\"16\" y=\"%d\" text-anchor=\"middle\" "
                "transform=\"rotate(-90 16 %d)\">Minutes</text>\n",
                left, top, left, top + plot_h, left, top + plot_h, left + plot_w, top + plot_h,
                left + plot_w / 2, height - 12, top + plot_h / 2, top + plot_h / 2);
  svg += buf;
  for (int i = 0; i <= 4; ++i) {
    int64_t value = scale * i / 4;
    int y = top + plot_h - static_cast<int>(plot_h * i / 4);
    std::snprintf(buf, sizeof buf,
                  "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#ccc\"/>\n"
                  "<text class=\"tick\" x=\"%d\" y=\"%d\" text-anchor=\"end\">%lld</text>\n",
                  left, y, left + plot_w, y, left - 6, y + 4, static_cast<long long>(value));
    svg += buf;
  }
  const size_t label_every = std::max<size_t>(1, days.size() / 15);
  for (size_t i = 0; i < days.size(); ++i) {
    int x = left + gap + static_cast<int>(i) * (bar_w + gap);
    int h = static_cast<int>(plot_h * days[i].minutes / scale);
    std::snprintf(buf, sizeof buf,
                  "<rect class=\"bar\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" "
                  "fill=\"#3b7dd8\" data-date=\"%s\" data-minutes=\"%lld\"><title>%s: %lld min"
                  "</title></rect>\n",
                  x, top + plot_h - h, bar_w, h, days[i].date.c_str(),
                  static_cast<long long>(days[i].minutes), days[i].date.c_str(),
                  static_cast<long long>(days[i].minutes));
    svg += buf;
    if (i % label_every == 0) {
      int lx = x + bar_w / 2, ly = top + plot_h + 14;
      std::snprintf(buf, sizeof buf,
                    "<text class=\"tick\" x=\"%d\" y=\"%d\" text-anchor=\"end\" "
                    "transform=\"rotate(-45 %d %d)\">%s</text>\n",
                    lx, ly, lx, ly, days[i].date.substr(5).c_str());
      svg += buf;
    }
  }
  return svg + "</svg>\n";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace corvane::admin
