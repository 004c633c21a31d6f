// Signals to other processes and the service manager's readiness protocol.
#pragma once

#include <functional>

#include "Status.h"

namespace corvane {

int CurrentProcessID();
// Sends signal 9; the failure carries errno.
Status KillProcess(int pid);
// Whether signal 0 reaches the process (it exists and this process may
// signal it); false for a pid of 0 or less, which names no single process.
bool SignalReachesProcess(int pid);
// Sends signal 9 to `pid` if `allowed()` holds, holding the process so that
// its id cannot pass to another process between the check and the signal.
// Not allowed fails with EPERM; other failures carry errno.
Status KillProcessIf(int pid, const std::function<bool()>& allowed);
// Makes the calling process undumpable (PR_SET_DUMPABLE 0): its own user can
// then no longer trace it, read or write its memory, or read its /proc
// files. False when the system refused.
bool MakeProcessUndumpable();
// Tells the service manager (systemd) that the service is ready; a no-op
// when the process was not started by one.
void NotifyServiceReady();

}  // namespace corvane
