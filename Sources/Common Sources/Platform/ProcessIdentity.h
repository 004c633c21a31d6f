// Who this process runs as.
#pragma once

namespace corvane {

// True when real and effective user or group ids differ (set-user-id or
// set-group-id program): environment-chosen behaviour must then be ignored.
bool IsPrivilegeElevated();

}  // namespace corvane
