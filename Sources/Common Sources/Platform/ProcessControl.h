// Signals to other processes and the service manager's readiness protocol.
#pragma once

namespace corvane {

int CurrentProcessID();
// Sends signal 9. Returns 0 or -errno.
int KillProcess(int pid);
// Tells the service manager (systemd) that the service is ready; a no-op
// when the process was not started by one.
void NotifyServiceReady();

}  // namespace corvane
