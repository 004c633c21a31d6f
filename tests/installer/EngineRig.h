// Runs the real install tool against a private root: a release folder made
// by "cmake --install", a recording stub systemctl first in PATH, and a ps
// that shows only this root's processes, so that the engine never sees (or
// kills) processes of other tests running on the same machine.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace corvane::test {

struct EngineResult {
  int exit_status = -1;    // -1 when it did not exit normally
  int signal = 0;          // the signal that ended it, if any
  std::string output;      // everything written to standard output
};

class EngineRig {
 public:
  EngineRig();
  ~EngineRig();

  const TempRoot& root() const { return root_; }
  std::string Path(const std::string& system_path) const { return root_.Path(system_path); }
  const std::string& release() const { return release_; }

  EngineResult Run(const std::vector<std::string>& args);

  // The commands the stub systemctl received, one per line.
  std::string SystemctlLog() const;
  // From now on "systemctl enable" starts a process that the server probe
  // finds, as systemd would start the server.
  void StartServerOnEnable();
  // The next "systemctl <command>" kills the engine with signal 9.
  void CrashEngineOn(const std::string& command);
  // Processes the stub started, still alive.
  std::vector<pid_t> LiveStartedServers() const;

  // Starts a process whose command line is `shown_path` (below the root),
  // as an installed program would show in ps.
  pid_t SpawnNamed(const std::string& shown_path);

  // Whether a process of SpawnNamed ended by signal 9 (waits up to 2 s);
  // reaps it.
  bool WasKilled(pid_t pid);

  std::string EngineLog() const;

 private:
  TempRoot root_;
  std::string work_;     // stubs and release, outside the root
  std::string stubs_;
  std::string release_;
  std::vector<pid_t> spawned_;
};

}  // namespace corvane::test
