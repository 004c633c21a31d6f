#include "TestSupport.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
  // The environment is made before the fork: in a test program with other
  // threads, a child that allocates may wait for a lock nobody will release.
  std::vector<std::string> entries;
  for (char** e = setup.clean_environment ? nullptr : environ; e != nullptr && *e != nullptr; ++e) {
    std::string_view name(*e, std::string_view(*e).find('=') + 1);
    if (std::ranges::none_of(setup.environment, [&](auto& v) { return v.starts_with(name); })) {
      entries.push_back(*e);
    }
  }
  entries.insert(entries.end(), setup.environment.begin(), setup.environment.end());
  std::vector<char*> child_environment;
  for (auto& entry : entries) child_environment.push_back(entry.data());
  child_environment.push_back(nullptr);
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (setup.die_with_parent) prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (setup.own_session) setsid();
  if (setup.out >= 0) dup2(setup.out, 1);
  if (setup.err >= 0) dup2(setup.err, 2);
  environ = child_environment.data();
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
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  int status;
  waitpid(pid, &status, 0);
}

bool WaitFor(const std::function<bool()>& done, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    usleep(10000);
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

bool DnsSdReachable() {
  return std::system("dbus-send --system --print-reply --reply-timeout=3000 "
                     "--dest=org.freedesktop.Avahi / org.freedesktop.Avahi.Server.GetVersionString"
                     " >/dev/null 2>&1") == 0;
}

}  // namespace corvane::test
