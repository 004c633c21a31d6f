#include "EngineRig.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

namespace fs = std::filesystem;

constexpr char kSystemctlStub[] = R"STUB(#!/bin/bash
stubs=$(dirname "$0")
echo "$*" >> "$stubs/systemctl.log"
if [ "$(cat "$stubs/crash-on" 2>/dev/null)" = "$*" ]; then
  rm "$stubs/crash-on"
  p=$PPID  # the engine runs systemctl through a shell
  while [ "${p:-0}" -gt 1 ] && [ "$(cat /proc/$p/comm)" != Corvane_5_insta ]; do
    p=$(awk '/^PPid:/ {print $2}' /proc/$p/status)
  done
  [ "${p:-0}" -gt 1 ] && kill -9 "$p"
fi
if [ "$1" = enable ] && [ -f "$stubs/start-server" ]; then
  bash -c 'exec -a "$0" sleep 300' \
    "$CORVANE_ROOT/Library/Application Support/Corvane 5/Corvane 5 Server" \
    </dev/null >/dev/null 2>&1 &
  echo $! >> "$stubs/started.pids"
fi
exit 0
)STUB";

constexpr char kPsStub[] = "#!/bin/sh\n/usr/bin/ps \"$@\" | grep -F -- \"$CORVANE_ROOT\"\n";

std::string CommandLine(pid_t pid) {
  return ReadFileOrEmpty("/proc/" + std::to_string(pid) + "/cmdline");
}

}  // namespace

EngineRig::EngineRig() {
  std::string pattern = (fs::temp_directory_path() / "corvane-rig-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  work_ = pattern;
  stubs_ = work_ + "/stubs";
  release_ = work_ + "/release";
  MakeFolders(stubs_);
  WriteFileOrDie(stubs_ + "/systemctl", kSystemctlStub);
  WriteFileOrDie(stubs_ + "/ps", kPsStub);
  for (const char* stub : {"/systemctl", "/ps"}) fs::permissions(stubs_ + stub, fs::perms(0755));
  if (RunProgram({CORVANE_CMAKE_COMMAND, "--install", CORVANE_BINARY_DIR, "--prefix", release_})
          .status != 0) {
    ADD_FAILURE() << "cmake --install failed";
  }
}

EngineRig::~EngineRig() {
  for (pid_t pid : spawned_) KillAndReap(pid);
  for (pid_t pid : LiveStartedServers()) kill(pid, SIGKILL);
  std::error_code ec;
  fs::remove_all(work_, ec);
}

EngineResult EngineRig::Run(const std::vector<std::string>& args) {
  std::vector<std::string> argv{release_ + "/bin/Corvane_5_install_tool"};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult run = RunProgram(argv, {"PATH=" + stubs_ + ":" + std::getenv("PATH")});
  std::cerr << run.err;
  return {run.status, run.signal, run.out};
}

std::string EngineRig::EngineLog() const {
  return Read("/Library/Application Support/Corvane 5/InstallationEngine.log");
}

bool EngineRig::Has(const std::string& system_path) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(Path(system_path), ec));
}

std::vector<pid_t> EngineRig::LiveStartedServers() const {
  std::vector<pid_t> live;
  std::istringstream pids(ReadFileOrEmpty(stubs_ + "/started.pids"));
  // A dead server's pid may have been reused by anything else.
  for (pid_t pid; pids >> pid;) {
    if (CommandLine(pid).find(root_.path()) != std::string::npos) live.push_back(pid);
  }
  return live;
}

pid_t EngineRig::SpawnNamed(const std::string& shown_path) {
  std::string argv0 = Path(shown_path);
  pid_t pid =
      SpawnProcess({"/bin/bash", "-c", "exec -a \"$0\" sleep 300 </dev/null >/dev/null", argv0});
  spawned_.push_back(pid);
  // ps must see the new command line, not the shell's.
  for (int i = 0; i < 200 && !CommandLine(pid).starts_with(argv0); ++i) usleep(5000);
  return pid;
}

bool EngineRig::WasKilled(pid_t pid) {
  std::erase(spawned_, pid);
  return EndedBySignal9(pid);
}

}  // namespace corvane::test
