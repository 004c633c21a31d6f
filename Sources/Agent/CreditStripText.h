// What the credit strip says and how long it stays, apart from its window.
#pragma once

#include <cstdint>
#include <string>

#include "WatchedApp.h"

namespace corvane {

// The front application's record (the last one in list order with
// `frontPid`), else the computer's record, else "Not watching"; followed by
// the disk countdown while `diskQuotaCountdown` is below 0.
std::string CreditStripText(const WatchedAppList& list, int32_t front_pid,
                            int16_t disk_quota_countdown);

// Whose record the strip shows: the front application's, except that
// during a warning it is the warned record's (`warnedPid`, 0 when none is
// up) and that the agent's own windows (`ownPid`: a warning, the lock
// screen, its menu) are never the front application: the strip then keeps
// the record it showed (`shownPid`).
int32_t CreditStripSubject(int32_t front_pid, int32_t own_pid, int32_t warned_pid, int32_t shown_pid);

// The strip's four-pass life: showing the hidden strip sets the countdown to
// 4, showing it again while visible does not extend it, each tick of the
// visible strip takes one off and the strip hides at 0.
class CreditStripLifetime {
 public:
  static constexpr int32_t kPasses = 4;

  // Returns true when the strip was hidden and is to be shown now.
  bool Show();
  // One pass; returns true when the strip is to hide now.
  bool Tick();
  bool visible() const { return visible_; }
  int32_t stripCountdown() const { return strip_countdown_; }

 private:
  bool visible_ = false;
  int32_t strip_countdown_ = 0;
};

}  // namespace corvane
