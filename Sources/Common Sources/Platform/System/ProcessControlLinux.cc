#include <errno.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <string>

#include "Platform/System/ProcessControl.h"

namespace corvane {

int CurrentProcessID() { return static_cast<int>(::getpid()); }

static Status SignalFailed(int pid, int error) {
  return Status::IOError("signal 9 to pid " + std::to_string(pid), error);
}

Status KillProcess(int pid) {
  return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0 ? Status::OK() : SignalFailed(pid, errno);
}

bool SignalReachesProcess(int pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0; }
Status KillProcessIf(int pid, const std::function<bool()>& allowed) {
  if (pid <= 0) return Status::InvalidArgument("no single process has pid " + std::to_string(pid));
  // A process descriptor names this process only: if it ends and its id is
  // reused while we look, the signal fails instead of reaching the new one.
  int handle = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
  if (handle < 0 && errno != ENOSYS) return SignalFailed(pid, errno);
  if (!allowed()) {
    if (handle >= 0) ::close(handle);
    return SignalFailed(pid, EPERM);
  }
  if (handle < 0) return KillProcess(pid);  // a kernel without process descriptors
  Status result = ::syscall(SYS_pidfd_send_signal, handle, SIGKILL, nullptr, 0) == 0
                      ? Status::OK()
                      : SignalFailed(pid, errno);
  ::close(handle);
  return result;
}

bool MakeProcessUndumpable() { return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0; }

void NotifyServiceReady() { sd_notify(0, "READY=1"); }

}  // namespace corvane
