#include "CreditStripText.h"

#include "AppSettings.h"
#include "Localization.h"
#include "TextFormat.h"

namespace corvane {
namespace {

std::string Duration(int32_t amount, int mode) { return FormatDuration(amount, mode).value_or(""); }

int32_t SecondsLeftInMinute(uint32_t secondsInMinute) {
  return 60 - static_cast<int32_t>(secondsInMinute % 60);
}

}  // namespace

std::string CreditStripText(const WatchedAppList& list, int32_t frontPid,
                            int16_t diskQuotaCountdown) {
  const WatchedApp* record = nullptr;
  const WatchedApp* global = nullptr;
  for (const WatchedAppRef& r : list) {
    // The global-settings record's pid 0 is no process; "no front process"
    // is 0 too and must not pick it.
    if (r->pid == frontPid && r->identifier != kGlobalSettingsAppKey) record = r.get();
    if (r->identifier == kGlobalSettingsAppKey) global = r.get();
  }
  if (record == nullptr) record = FindWatchedApp(list, kComputerAppKey);

  std::string credit;
  if (record == nullptr) {
    credit = LocalizedString("Not watching");
  } else if (record->settings.Credit == kNoCreditMarker) {
    credit.clear();
  } else if (record->warned) {
    credit = FormatLocalized("Credit format", {record->displayName.value_or(""),
                                               Duration(SecondsLeftInMinute(record->secondsInMinute),
                                                        kDurationSeconds)});
  } else {
    credit = FormatLocalized("Credit format", {record->displayName.value_or(""),
                                               Duration(record->settings.Credit, kDurationMinutes)});
  }
  if (diskQuotaCountdown >= 0) return credit;

  const std::string left =
      diskQuotaCountdown == -2
          ? Duration(SecondsLeftInMinute(global != nullptr ? global->secondsInMinute : 0),
                     kDurationSeconds)
          : Duration(diskQuotaCountdown + 3, kDurationMinutes);
  std::string disk = FormatLocalized("Disk Quota Credit format", {left});
  if (record == nullptr) return disk;
  return credit + " " + disk;
}

int32_t CreditStripSubject(int32_t frontPid, int32_t ownPid, int32_t warnedPid, int32_t shownPid) {
  if (warnedPid != 0) return warnedPid;
  if (frontPid != 0 && frontPid == ownPid) return shownPid;
  return frontPid;
}

bool CreditStripLifetime::Show() {
  if (visible_) return false;
  visible_ = true;
  stripCountdown_ = kPasses;
  return true;
}

bool CreditStripLifetime::Tick() {
  if (!visible_) return false;
  --stripCountdown_;
  if (stripCountdown_ > 0) return false;
  visible_ = false;
  return true;
}

}  // namespace corvane
