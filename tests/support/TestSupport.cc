#include "TestSupport.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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

pid_t SpawnProcess(const std::vector<std::string>& argv, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
  if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool SendAll(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
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
