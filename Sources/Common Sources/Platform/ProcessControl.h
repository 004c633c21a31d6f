// Signals to other processes and the service manager's readiness protocol.
#pragma once

namespace corvane {

int CurrentProcessID();
// Sends signal 9. Returns 0 or -errno.
int KillProcess(int pid);
// Whether signal 0 reaches the process (it exists and this process may
// signal it); false for a pid of 0 or less, which names no single process.
bool SignalReachesProcess(int pid);
// Tells the service manager (systemd) that the service is ready; a no-op
// when the process was not started by one.
void NotifyServiceReady();

}  // namespace corvane
