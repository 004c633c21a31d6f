// Signals to other processes and the service manager's readiness protocol.
#pragma once

#include <functional>

namespace corvane {

int CurrentProcessID();
// Sends signal 9. Returns 0 or -errno.
int KillProcess(int pid);
// Sends signal 9 to `pid` if `allowed()` holds, holding the process so that
// its id cannot pass to another process between the check and the signal.
// Returns 0, -EPERM when not allowed, or -errno.
int KillProcessIf(int pid, const std::function<bool()>& allowed);
// Tells the service manager (systemd) that the service is ready; a no-op
// when the process was not started by one.
void NotifyServiceReady();

}  // namespace corvane
