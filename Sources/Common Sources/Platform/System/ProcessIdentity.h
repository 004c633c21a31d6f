// Who this process runs as.
#pragma once

#include <cstdint>

namespace corvane {

// True when real and effective user or group ids differ (set-user-id or
// set-group-id program): environment-chosen behaviour must then be ignored.
bool IsPrivilegeElevated();
// The user id the process acts as (the effective one).
uint32_t EffectiveUserID();
// The real user id: the account this process acts for.
int64_t CurrentUserID();

}  // namespace corvane
