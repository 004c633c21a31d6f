#include "EngineRig.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

namespace fs = std::filesystem;

constexpr char kSystemctlStub[] = R"STUB(#!/bin/bash
# Records the command; plays systemd's part where the test asks for it.
stubs=$(dirname "$0")
echo "$*" >> "$stubs/systemctl.log"
if [ -f "$stubs/crash-on" ] && [ "$(cat "$stubs/crash-on")" = "$*" ]; then
  rm -f "$stubs/crash-on"
  p=$PPID
  while [ -n "$p" ] && [ "$p" -gt 1 ]; do
    if [ "$(cat /proc/$p/comm)" = "Corvane_5_insta" ]; then kill -9 "$p"; exit 0; fi
    p=$(awk '/^PPid:/ {print $2}' /proc/$p/status)
  done
fi
if [ "$1" = enable ] && [ -f "$stubs/start-server" ]; then
  bash -c 'exec -a "$0" sleep 300' \
    "$CORVANE_ROOT/Library/Application Support/Corvane 5/Corvane 5 Server" \
    </dev/null >/dev/null 2>&1 &
  echo $! >> "$stubs/started.pids"
fi
exit 0
)STUB";

// The real ps, limited to the lines of processes of this root.
constexpr char kPsStub[] = R"STUB(#!/bin/sh
/usr/bin/ps "$@" | grep -F -- "$CORVANE_ROOT"
)STUB";

void WriteExecutable(const std::string& path, const std::string& text) {
  WriteFileOrDie(path, text);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

bool CommandLineHolds(pid_t pid, const std::string& text) {
  std::string cmdline = ReadFileOrEmpty("/proc/" + std::to_string(pid) + "/cmdline");
  return cmdline.find(text) != std::string::npos;
}

}  // namespace

EngineRig::EngineRig() {
  std::string pattern = (fs::temp_directory_path() / "corvane-rig-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  work_ = pattern;
  stubs_ = work_ + "/stubs";
  release_ = work_ + "/release";
  MakeFolders(stubs_);
  WriteExecutable(stubs_ + "/systemctl", kSystemctlStub);
  WriteExecutable(stubs_ + "/ps", kPsStub);
  std::string install = std::string(CORVANE_CMAKE_COMMAND) + " --install '" CORVANE_BINARY_DIR
                        "' --prefix '" + release_ + "' >/dev/null";
  if (std::system(install.c_str()) != 0) ADD_FAILURE() << "cmake --install failed";
}

EngineRig::~EngineRig() {
  for (pid_t pid : spawned_) KillAndReap(pid);
  for (pid_t pid : LiveStartedServers()) kill(pid, SIGKILL);
  std::error_code ec;
  fs::remove_all(work_, ec);
}

EngineResult EngineRig::Run(const std::vector<std::string>& args) {
  std::string engine = release_ + "/bin/Corvane_5_install_tool";
  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).starts_with("PATH=")) continue;
    env_text.emplace_back(*e);
  }
  const char* path = std::getenv("PATH");
  env_text.push_back("PATH=" + stubs_ + ":" + (path ? path : "/usr/bin:/bin"));
  std::vector<char*> envp, argv;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> arg_text{engine};
  arg_text.insert(arg_text.end(), args.begin(), args.end());
  for (auto& a : arg_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) std::abort();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    execve(engine.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  EngineResult result;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    result.output.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::string EngineRig::SystemctlLog() const { return ReadFileOrEmpty(stubs_ + "/systemctl.log"); }

void EngineRig::StartServerOnEnable() { WriteFileOrDie(stubs_ + "/start-server", ""); }

void EngineRig::CrashEngineOn(const std::string& command) {
  WriteFileOrDie(stubs_ + "/crash-on", command + "\n");
}

std::vector<pid_t> EngineRig::LiveStartedServers() const {
  std::vector<pid_t> live;
  std::istringstream pids(ReadFileOrEmpty(stubs_ + "/started.pids"));
  for (pid_t pid; pids >> pid;) {
    // A dead server's pid may have been reused by anything else.
    if (CommandLineHolds(pid, root_.path())) live.push_back(pid);
  }
  return live;
}

pid_t EngineRig::SpawnNamed(const std::string& shown_path) {
  std::string argv0 = root_.Path(shown_path);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    const char* argv[] = {argv0.c_str(), "300", nullptr};
    execv("/bin/sleep", const_cast<char**>(argv));
    _exit(127);
  }
  spawned_.push_back(pid);
  // ps must see the new command line, not the forked test program's.
  for (int i = 0; i < 200 && !CommandLineHolds(pid, argv0); ++i) usleep(5000);
  return pid;
}

std::string EngineRig::EngineLog() const {
  return ReadFileOrEmpty(root_.Path("/Library/Application Support/Corvane 5/InstallationEngine.log"));
}

bool EngineRig::WasKilled(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      std::erase(spawned_, pid);
      return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    if (r < 0) return false;
    usleep(10000);
  }
  return false;
}

}  // namespace corvane::test
