#include "CreditStripText.h"

#include "AppSettings.h"
#include "Localization.h"
#include "TextFormat.h"

namespace corvane {
namespace {

std::string Duration(int32_t amount, int mode) { return FormatDuration(amount, mode).value_or(""); }

int32_t SecondsLeftInMinute(uint32_t seconds_in_minute) {
  return 60 - static_cast<int32_t>(seconds_in_minute % 60);
}

}  // namespace

std::string CreditStripText(const WatchedAppList& list, int32_t front_pid,
                            int16_t disk_quota_countdown) {
  const WatchedApp* record = nullptr;
  const WatchedApp* global = nullptr;
  for (const WatchedAppRef& r : list) {
    // The global-settings record's pid 0 is no process; "no front process"
    // is 0 too and must not pick it.
    if (r->pid == front_pid && r->identifier != kGlobalSettingsAppKey) record = r.get();
    if (r->identifier == kGlobalSettingsAppKey) global = r.get();
  }
  if (record == nullptr) record = FindWatchedApp(list, kComputerAppKey);

  std::string credit;
  if (record == nullptr) {
    credit = LocalizedString("Not watching");
  } else if (record->settings.credit == kNoCreditMarker) {
    credit.clear();
  } else if (record->warned) {
    credit = FormatLocalized("Credit format", {record->display_name.value_or(""),
                                               Duration(SecondsLeftInMinute(record->seconds_in_minute),
                                                        kDurationSeconds)});
  } else {
    credit = FormatLocalized("Credit format", {record->display_name.value_or(""),
                                               Duration(record->settings.credit, kDurationMinutes)});
  }
  if (disk_quota_countdown >= 0) return credit;

  const std::string left =
      disk_quota_countdown == -2
          ? Duration(SecondsLeftInMinute(global != nullptr ? global->seconds_in_minute : 0),
                     kDurationSeconds)
          : Duration(disk_quota_countdown + 3, kDurationMinutes);
  std::string disk = FormatLocalized("Disk Quota Credit format", {left});
  if (record == nullptr) return disk;
  return credit + " " + disk;
}

int32_t CreditStripSubject(int32_t front_pid, int32_t own_pid, int32_t warned_pid, int32_t shown_pid) {
  if (warned_pid != 0) return warned_pid;
  if (front_pid != 0 && front_pid == own_pid) return shown_pid;
  return front_pid;
}

bool CreditStripLifetime::Show() {
  if (visible_) return false;
  visible_ = true;
  strip_countdown_ = kPasses;
  return true;
}

bool CreditStripLifetime::Tick() {
  if (!visible_) return false;
  --strip_countdown_;
  if (strip_countdown_ > 0) return false;
  visible_ = false;
  return true;
}

}  // namespace corvane
