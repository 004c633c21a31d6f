// Small helpers shared by the test programs.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>

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

// How a child process starts: every test program launches its children
// through ForkChild.
struct ChildSetup {
  int out = -1;  // standard output, when given
  int err = -1;  // standard error, when given
  // "NAME=value" entries over this process's environment, or alone when
  // `clean_environment`.
  std::vector<std::string> environment{};
  bool clean_environment = false;
  bool own_session = false;      // leads a POSIX session of its own
  bool die_with_parent = false;  // a crashed test leaves nothing behind
  // Runs in the child last; the child ends with status 126 when it fails.
  std::function<bool()> prepare{};
};
// Forks a child set up by `setup` that ends with what `body` returns; its
// pid, or -1.
pid_t ForkChild(const ChildSetup& setup, const std::function<int()>& body);
// Starts argv[0] (looked up in the child's PATH); its pid, or -1. A program
// that cannot be started ends with status 127.
pid_t Launch(const std::vector<std::string>& argv, const ChildSetup& setup = {});
// Starts argv[0] with the given arguments, standard output and error on
// `out` and `err` when those are given; returns its pid, or -1.
inline pid_t SpawnProcess(const std::vector<std::string>& argv, int out = -1, int err = -1) {
  return Launch(argv, {.out = out, .err = err});
}
// Reaps the child: its exit status, or -1 when it did not exit (then
// *signal, when given, is the signal that ended it).
int WaitExit(pid_t pid, int* signal = nullptr);
// Writes all of `bytes` to the socket, waiting where a non-blocking one is
// full; false when it could not.
bool SendAll(int fd, std::string_view bytes);

struct RunResult {
  int status = -1;  // -1 when it did not exit
  int signal = 0;   // what ended it then
  std::string out;
  std::string err;
  double seconds = 0;
};
// Runs a program to its end, with `extra_env` ("NAME=value") added.
RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra_env = {});

// Kills with signal 9 and reaps.
void KillAndReap(pid_t pid);
// Polls `done` every `interval` seconds; false when it still fails after
// `seconds`.
bool WaitFor(const std::function<bool()>& done, double seconds = 10, double interval = 0.01);
// Whether the child `pid` ended by signal 9 within `seconds`; it is reaped
// either way (killed first when still running).
bool EndedBySignal9(pid_t pid, double seconds = 2);

// A child process whose standard output, and standard error unless
// `setup.err` names another, go to a file that is watched for a text.
// Destroying it kills it (its whole process group when it leads a session of
// its own) and reaps it.
class Child {
 public:
  // The output goes to `output_path`, or to a temporary file when empty.
  explicit Child(const std::vector<std::string>& argv, const ChildSetup& setup = {},
                 const std::string& output_path = "");
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  // Whether the output holds `text` within `seconds`; false at once when a
  // child without a session of its own ended without printing it.
  bool WaitForOutput(const std::string& text, double seconds) const;
  // What WaitForOutput has read so far.
  const std::string& output() const { return seen_; }
  // Everything printed so far.
  std::string Output() const { return ReadFileOrEmpty(output_path_); }
  bool Ended();  // reaps the child once it ended; true from then on
  // Once Ended(): the exit status, or -1 when it did not exit.
  int ExitStatus() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
  void Kill();

 private:
  std::string output_path_;
  bool temporary_ = false;
  bool own_session_ = false;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
  mutable std::string seen_;
};

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
