// The one-second pass over the watched records: each record's own minute
// boundary every sixty passes, with the curfew, the disk quota, the credit
// warnings, the charge of the minute and the kill when time is up.
#pragma once

#include <cstdint>

#include "AgentState.h"

namespace corvane {

inline constexpr uint32_t kPassesPerMinute = 60;
inline constexpr int32_t kFiveMinuteCredit = 5;
inline constexpr int32_t kLastMinuteCredit = 1;

// One pass; the program's tick timer calls it every second. Warnings shown
// from here block (a nested event loop may run and change the list); a
// record that leaves the list meanwhile is never touched again, and the
// records after it are still visited.
void OnTick(AgentState& state);

}  // namespace corvane
