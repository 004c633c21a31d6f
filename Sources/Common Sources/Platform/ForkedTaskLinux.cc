#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "Platform/ForkedTask.h"

namespace corvane {

std::optional<ForkedTask> StartForkedTask(const std::function<uint8_t()>& body) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return std::nullopt;
  }
  if (pid == 0) {
    ::close(fds[0]);
    // A task outliving a killed process would write after its successor
    // started.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    uint8_t result = body();
    while (::write(fds[1], &result, 1) < 0 && errno == EINTR) {
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  return ForkedTask{pid, fds[0]};
}

int FinishForkedTask(const ForkedTask& task) {
  uint8_t result = 0;
  ssize_t n;
  while ((n = ::read(task.result_fd, &result, 1)) < 0 && errno == EINTR) {
  }
  ::close(task.result_fd);
  while (::waitpid(task.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return n == 1 ? result : -1;
}

}  // namespace corvane
