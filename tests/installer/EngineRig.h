// Runs the real install tool against a private root: a release made by
// "cmake --install", a recording stub systemctl first in PATH, and a ps that
// shows only this root's processes, so the engine never kills other tests'.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace corvane::test {

struct EngineResult {
  int exit_status = -1;  // -1 when it did not exit normally
  int signal = 0;
  std::string output;
};

class EngineRig {
 public:
  EngineRig();
  ~EngineRig();

  std::string Path(const std::string& system_path) const { return root_.Path(system_path); }
  std::string Read(const std::string& path) const { return ReadFileOrEmpty(Path(path)); }
  bool Has(const std::string& path) const;  // a link counts, even a dangling one
  const std::string& release() const { return release_; }
  EngineResult Run(const std::vector<std::string>& args);
  std::string EngineLog() const;

  std::string SystemctlLog() const { return ReadFileOrEmpty(stubs_ + "/systemctl.log"); }
  // "systemctl enable" starts a process the server probe finds, as systemd would.
  void StartServerOnEnable() { WriteFileOrDie(stubs_ + "/start-server", ""); }
  // The next "systemctl <command>" kills the engine with signal 9.
  void CrashEngineOn(const std::string& cmd) { WriteFileOrDie(stubs_ + "/crash-on", cmd + "\n"); }
  std::vector<pid_t> LiveStartedServers() const;

  // A process shown in ps as `shown_path` below the root.
  pid_t SpawnNamed(const std::string& shown_path);
  // Whether a SpawnNamed process ended by signal 9 (waits up to 2 s).
  bool WasKilled(pid_t pid);

 private:
  TempRoot root_;
  std::string work_, stubs_, release_;  // outside the root
  std::vector<pid_t> spawned_;
};

}  // namespace corvane::test
