// Minutes the agent charged while the server could not be told, kept until
// it can: the server's statistics and credit then match what was used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "AppSettings.h"

namespace corvane {

class PendingMinutes {
 public:
  // One entry per application; the child can make up any number of
  // application keys, so the entries are bounded, and so are the minutes of
  // one entry (a week of them).
  static constexpr size_t kMaxEntries = 256;
  static constexpr uint32_t kMaxMinutesPerEntry = 7 * 24 * 60;

  struct Entry {
    std::string user;
    std::string app;
    AppSettings settings;  // the record as last charged, for the frame
    uint32_t minutes = 0;
  };

  // False when the minute could not be kept (the bounds are reached).
  bool Add(const std::string& user, const std::string& app, const AppSettings& settings);
  // Moves every minute of `other` in front of this queue's own.
  void TakeFrom(PendingMinutes* other);
  // Hands out the minutes one at a time, oldest first, until `send` fails;
  // what was not sent stays. True when nothing is left.
  bool Deliver(const std::function<bool(const Entry&)>& send);

  bool empty() const { return entries_.empty(); }
  uint32_t TotalMinutes() const;

 private:
  std::deque<Entry> entries_;
};

}  // namespace corvane
