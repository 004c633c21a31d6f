#include "StatusMenuModel.h"

#include <algorithm>
#include <cmath>

#include "AppSettings.h"
#include "Localization.h"
#include "TextFormat.h"

namespace corvane {
namespace {

constexpr int kMenuRefreshTicks = 60;

uint64_t ByteCount(int64_t bytes) { return bytes < 0 ? 0 : static_cast<uint64_t>(bytes); }

}  // namespace

std::string StatusItemCreditText(double credit_value) {
  if (credit_value <= 0.6) {
    // Rounded, not truncated: 0.58 * 100 is 57.99… in binary.
    const double hundredths = std::round(credit_value * 100.0);
    const int32_t seconds =
        static_cast<int32_t>(std::clamp(hundredths, -2147483648.0, 2147483647.0)) % 60;
    return FormatDuration(seconds, kDurationSeconds).value_or("");
  }
  const double minutes = std::clamp(std::trunc(credit_value), -2147483648.0, 2147483647.0);
  return FormatDuration(static_cast<int32_t>(minutes), kDurationMinutes).value_or("");
}

StatusMenuModel::StatusMenuModel() : disk_title_(LocalizedString("No disk watch")) {}

void StatusMenuModel::SetAppMenuItem(int32_t pid, const std::string& name, double credit_value) {
  const std::string key = std::to_string(pid);
  auto it = std::find_if(apps_.begin(), apps_.end(),
                         [&](const StatusMenuLine& line) { return line.key == key; });
  if (it == apps_.end()) {
    StatusMenuLine line;
    line.key = key;
    it = pid == -1 ? apps_.insert(apps_.begin(), line) : apps_.insert(apps_.end(), line);
    ++revision_;
  }
  std::string title =
      FormatLocalized("Status Item Credit Format", {StatusItemCreditText(credit_value), name});
  if (it->title != title) {
    it->title = std::move(title);
    ++revision_;
  }
}

void StatusMenuModel::RemoveAppMenuItem(int32_t pid) {
  const std::string key = std::to_string(pid);
  auto it = std::find_if(apps_.begin(), apps_.end(),
                         [&](const StatusMenuLine& line) { return line.key == key; });
  if (it == apps_.end()) return;
  apps_.erase(it);
  ++revision_;
}

void StatusMenuModel::SetDiskMenuItem(bool has_quota, int64_t quota_bytes, int64_t used_bytes) {
  std::string title = has_quota ? FormatLocalized("Disk usage", {FormatByteSize(ByteCount(used_bytes)),
                                                                FormatByteSize(ByteCount(quota_bytes))})
                               : LocalizedString("No disk watch");
  if (title == disk_title_) return;
  disk_title_ = std::move(title);
  ++revision_;
}

void StatusMenuModel::RefreshAppMenuItems(const WatchedAppList& list) {
  for (const WatchedAppRef& record : list) {
    if (record->identifier == kGlobalSettingsAppKey) continue;
    const int32_t pid = record->identifier == kComputerAppKey ? -1 : record->pid;
    const double credit_value =
        record->settings.credit + (60.0 - static_cast<double>(record->seconds_in_minute)) / 100.0;
    SetAppMenuItem(pid, record->display_name.value_or(""), credit_value);
  }
}

void StatusMenuModel::MenuWillOpen(const WatchedAppList& list) {
  RefreshAppMenuItems(list);
  menu_refresh_ticks_ = kMenuRefreshTicks;
}

bool StatusMenuModel::Tick(const WatchedAppList& list) {
  if (menu_refresh_ticks_ <= 0) return false;
  RefreshAppMenuItems(list);
  --menu_refresh_ticks_;
  return true;
}

std::vector<StatusMenuLine> StatusMenuModel::Lines() const {
  std::vector<StatusMenuLine> lines = apps_;
  if (lines.empty()) lines.push_back({StatusMenuLine::kPlaceholder, "", LocalizedString("No app watch"), false});
  lines.push_back({StatusMenuLine::kDisk, "", disk_title_, false});
  lines.push_back({StatusMenuLine::kSeparator, "", "", false});
  lines.push_back({StatusMenuLine::kLock, "", LocalizedString("Lock computer"), true});
  return lines;
}

}  // namespace corvane
