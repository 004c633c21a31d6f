// The lines of the status item's menu, kept apart from the tray so the
// order, the placeholder and the credit rounding can be tested without a
// display. The Qt menu mirrors Lines() after every change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WatchedApp.h"

namespace corvane {

struct StatusMenuLine {
  enum Kind { kApp, kPlaceholder, kDisk, kSeparator, kLock };
  Kind kind = kApp;
  std::string key;    // the pid as decimal text for app lines, else empty
  std::string title;  // empty for the separator
  bool enabled = false;
};

// creditValue = whole minutes + seconds left in the minute / 100. Up to 0.6
// it is the seconds of the last minute, above it the whole minutes.
std::string StatusItemCreditText(double credit_value);

class StatusMenuModel {
 public:
  StatusMenuModel();

  void SetAppMenuItem(int32_t pid, const std::string& name, double credit_value);
  // Dropping a pid without an item changes nothing.
  void RemoveAppMenuItem(int32_t pid);
  void SetDiskMenuItem(bool has_quota, int64_t quota_bytes, int64_t used_bytes);
  // One SetAppMenuItem per record in list order, global settings skipped,
  // the session's record as pid -1.
  void RefreshAppMenuItems(const WatchedAppList& list);
  // The menu is about to open: refresh now and on the next 60 ticks.
  void MenuWillOpen(const WatchedAppList& list);
  // First step of every tick; returns whether the app lines were refreshed.
  bool Tick(const WatchedAppList& list);

  int menuRefreshTicks() const { return menu_refresh_ticks_; }
  // Top to bottom: app lines or the placeholder, disk, separator, lock.
  std::vector<StatusMenuLine> Lines() const;
  // Bumped on every change of Lines(), so a view can skip identical syncs.
  uint64_t revision() const { return revision_; }

 private:
  std::vector<StatusMenuLine> apps_;  // the session's first, then first-refresh order
  std::string disk_title_;
  int menu_refresh_ticks_ = 0;
  uint64_t revision_ = 0;
};

}  // namespace corvane
