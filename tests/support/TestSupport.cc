#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "Paths.h"

extern char** environ;

namespace corvane::test {

TempRoot::TempRoot() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvane-root-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) std::abort();
  path_ = made;
  if (const char* old = std::getenv("CORVANE_ROOT")) {
    had_old_root_ = true;
    old_root_ = old;
  }
  setenv("CORVANE_ROOT", path_.c_str(), 1);
  ResetRootPrefixForTesting();
}

TempRoot::~TempRoot() {
  if (had_old_root_) {
    setenv("CORVANE_ROOT", old_root_.c_str(), 1);
  } else {
    unsetenv("CORVANE_ROOT");
  }
  ResetRootPrefixForTesting();
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileOrEmpty(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFileOrDie(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
  if (!out) std::abort();
}

void MakeFolders(const std::string& path) { std::filesystem::create_directories(path); }

pid_t ForkChild(const ChildSetup& setup, const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (setup.die_with_parent) prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (setup.own_session) setsid();
  if (setup.out >= 0) dup2(setup.out, 1);
  if (setup.err >= 0) dup2(setup.err, 2);
  if (setup.clean_environment) clearenv();
  for (const std::string& entry : setup.environment) putenv(const_cast<char*>(entry.c_str()));
  _exit(setup.prepare && !setup.prepare() ? 126 : body());
}

pid_t Launch(const std::vector<std::string>& argv, const ChildSetup& setup) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return ForkChild(setup, [&] {
    execvp(args[0], args.data());
    return 127;
  });
}

int WaitExit(pid_t pid, int* signal) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  if (signal != nullptr && WIFSIGNALED(status)) *signal = WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SendAll(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EAGAIN) {
      pollfd writable{fd, POLLOUT, 0};
      poll(&writable, 1, -1);
      continue;
    }
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra_env) {
  RunResult result;
  auto start = std::chrono::steady_clock::now();
  char out_path[] = "/tmp/c5-run-out-XXXXXX", err_path[] = "/tmp/c5-run-err-XXXXXX";
  int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
  pid_t pid = Launch(argv, {.out = out_fd, .err = err_fd, .environment = extra_env});
  result.status = WaitExit(pid, &result.signal);
  close(out_fd);
  close(err_fd);
  result.out = ReadFileOrEmpty(out_path);
  result.err = ReadFileOrEmpty(err_path);
  unlink(out_path);
  unlink(err_path);
  result.seconds = SecondsSince(start);
  return result;
}

void KillAndReap(pid_t pid) {
  if (pid > 0 && kill(pid, SIGKILL) == 0) WaitExit(pid);
}

bool WaitFor(const std::function<bool()>& done, double seconds, double interval) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    usleep(static_cast<useconds_t>(interval * 1e6));
  }
  return true;
}

bool EndedBySignal9(pid_t pid, double seconds) {
  int status = 0;
  if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) != 0; }, seconds)) {
    KillAndReap(pid);
    return false;
  }
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

Child::Child(const std::vector<std::string>& argv, const ChildSetup& setup,
             const std::string& output_path)
    : output_path_(output_path), own_session_(setup.own_session) {
  if (output_path_.empty()) {
    char path[] = "/tmp/c5-child-XXXXXX";
    close(mkstemp(path));
    output_path_ = path;
    temporary_ = true;
  }
  ChildSetup to_file = setup;
  to_file.out = open(output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (to_file.err < 0) to_file.err = to_file.out;
  pid_ = Launch(argv, to_file);
  if (to_file.out >= 0) close(to_file.out);
}

Child::~Child() {
  Kill();
  if (temporary_) unlink(output_path_.c_str());
}

bool Child::WaitForOutput(const std::string& text, double seconds) const {
  siginfo_t end{};
  WaitFor([&] {
    seen_ = Output();
    // Looked at without reaping, so that Ended() still sees it end.
    if (!own_session_ && !reaped_) waitid(P_PID, pid_, &end, WEXITED | WNOHANG | WNOWAIT);
    return seen_.find(text) != std::string::npos || end.si_pid != 0;
  }, seconds);
  seen_ = Output();
  return seen_.find(text) != std::string::npos;
}

bool Child::Ended() {
  reaped_ = reaped_ || pid_ <= 0 || waitpid(pid_, &status_, WNOHANG) == pid_;
  return reaped_;
}

void Child::Kill() {
  if (pid_ <= 0) return;
  // A reaped child's pid may name another process by now; a session's
  // group is killed still, for what its leader left behind.
  if (own_session_ || !reaped_) kill(own_session_ ? -pid_ : pid_, SIGKILL);
  if (!reaped_) waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool DnsSdReachable() {
  return std::system("dbus-send --system --print-reply --reply-timeout=3000 "
                     "--dest=org.freedesktop.Avahi / org.freedesktop.Avahi.Server.GetVersionString"
                     " >/dev/null 2>&1") == 0;
}

}  // namespace corvane::test
