#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "Platform/System/ChildTask.h"

namespace corvane {
namespace {

constexpr int kChildNice = 10;

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void RunChild(int out_fd, int parent_pid, const std::function<std::string()>& work) {
  // A child that outlived a killed parent would keep its listening sockets,
  // and a restarted parent could not bind them again.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent_pid) _exit(1);
  if (out_fd != 3) {
    if (dup2(out_fd, 3) < 0) _exit(1);
    out_fd = 3;
  }
  close_range(4, ~0U, 0);
  setpriority(PRIO_PROCESS, 0, kChildNice);
  WriteAll(out_fd, work());
  _exit(0);
}

}  // namespace

std::unique_ptr<ChildTask> ChildTask::Start(const std::function<std::string()>& work) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
  int parent_pid = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return nullptr;
  }
  if (pid == 0) {
    close(fds[0]);
    RunChild(fds[1], parent_pid, work);
  }
  close(fds[1]);
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  return std::unique_ptr<ChildTask>(new ChildTask(pid, fds[0]));
}

ChildTask::~ChildTask() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (fd_ >= 0) close(fd_);
}

bool ChildTask::ReadReady() {
  if (pid_ <= 0) return true;
  char buffer[1024];
  for (;;) {
    ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      size_t room = kMaxOutput - output_.size();
      output_.append(buffer, std::min(static_cast<size_t>(n), room));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return false;
    break;  // the end, or a broken pipe: either way no more output
  }
  // The child closes the pipe only by ending, so this wait is short.
  while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return true;
}

}  // namespace corvane
