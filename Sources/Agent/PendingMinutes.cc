#include "PendingMinutes.h"

#include <algorithm>

namespace corvane {

bool PendingMinutes::Add(const std::string& user, const std::string& app,
                         const AppSettings& settings) {
  for (Entry& e : entries_) {
    if (e.user != user || e.app != app) continue;
    if (e.minutes >= kMaxMinutesPerEntry) return false;
    e.minutes += 1;
    e.settings = settings;
    return true;
  }
  if (entries_.size() >= kMaxEntries) return false;
  entries_.push_back({user, app, settings, 1});
  return true;
}

void PendingMinutes::TakeFrom(PendingMinutes* other) {
  std::deque<Entry> mine = std::move(entries_);
  entries_ = std::move(other->entries_);
  other->entries_.clear();
  for (const Entry& e : mine) {
    Entry* same = nullptr;
    for (Entry& t : entries_) {
      if (t.user == e.user && t.app == e.app) same = &t;
    }
    if (same != nullptr) {
      same->minutes = std::min(kMaxMinutesPerEntry, same->minutes + e.minutes);
      same->settings = e.settings;
    } else if (entries_.size() < kMaxEntries) {
      entries_.push_back(e);
    }
  }
}

bool PendingMinutes::Deliver(const std::function<bool(const Entry&)>& send) {
  while (!entries_.empty()) {
    Entry& e = entries_.front();
    if (!send(e)) return false;
    if (--e.minutes == 0) entries_.pop_front();
  }
  return true;
}

uint32_t PendingMinutes::TotalMinutes() const {
  uint32_t total = 0;
  for (const Entry& e : entries_) total += e.minutes;
  return total;
}

}  // namespace corvane
