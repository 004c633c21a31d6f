#include <errno.h>
#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include "Platform/ProcessControl.h"

namespace corvane {

int CurrentProcessID() { return static_cast<int>(::getpid()); }

int KillProcess(int pid) { return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0 ? 0 : -errno; }

bool SignalReachesProcess(int pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0; }

void NotifyServiceReady() { sd_notify(0, "READY=1"); }

}  // namespace corvane
