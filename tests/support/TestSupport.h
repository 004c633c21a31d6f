// Small helpers shared by the test programs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::test {

// A private root folder for one test: CORVANE_ROOT points at it while the
// object lives, and it is removed afterwards.
class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& path() const { return path_; }
  // The root-relative system path below this root.
  std::string Path(const std::string& system_path) const { return path_ + system_path; }

 private:
  std::string path_;
  std::string old_root_;
  bool had_old_root_ = false;
};

std::string ReadFileOrEmpty(const std::string& path);
void WriteFileOrDie(const std::string& path, const std::string& data);
// mkdir -p
void MakeFolders(const std::string& path);

// Starts argv[0] with the given arguments, standard output and error on
// `out` and `err` when those are given; returns its pid, or -1.
pid_t SpawnProcess(const std::vector<std::string>& argv, int out = -1, int err = -1);
// Writes all of `bytes` to the socket; false when it could not.
bool SendAll(int fd, std::string_view bytes);
// Kills with signal 9 and reaps.
void KillAndReap(pid_t pid);
// Polls `done` every 10 ms; false when it still fails after `seconds`.
bool WaitFor(const std::function<bool()>& done, double seconds = 10);
// Whether the child `pid` ended by signal 9 within `seconds`; it is reaped
// either way (killed first when still running).
bool EndedBySignal9(pid_t pid, double seconds = 2);
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// True when an avahi-daemon answers on the system message bus, as the
// server needs to publish itself and the client module to browse
// (scripts/test-env start provides one). A daemon that merely runs is not
// enough: its bus may be out of reach.
bool DnsSdReachable();
inline constexpr const char* kNoDnsSd =
    "no avahi-daemon answers on the system bus: run scripts/test-env start";

}  // namespace corvane::test
