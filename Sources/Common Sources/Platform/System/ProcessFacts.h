// What root can learn about any process from the kernel, for the session
// guard: what it runs, whether it runs, whose and which session's it is,
// and the environment it was started with. Nothing here is taken from the
// process's own word.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Status.h"

namespace corvane {

struct ProcessFacts {
  // The executable's path (/proc/PID/exe); "" when unreadable.
  std::string executable;
  // The kernel's state letter: 'T' stopped, 't' stopped by a tracer, 'Z'...
  char state = 0;
  int32_t posix_session = 0;
  uint32_t real_user = 0;
  // The pid of a debugger attached to it; 0 for none.
  int32_t tracer = 0;
  // The process made itself undumpable (PR_SET_DUMPABLE 0): the kernel then
  // gives its /proc files to root, and its own user can no longer trace it,
  // read or write its memory.
  bool undumpable = false;
  // The environment it was started with; read only when asked.
  std::vector<std::string> environment;
  // The environment was larger than the reader takes: it cannot be vouched
  // for.
  bool environment_too_large = false;
};

// False when the process is gone (or a zombie) or unreadable.
bool ReadProcessFacts(int32_t pid, bool with_environment, ProcessFacts* facts);

// One process followed over time. Its stat file stays open, so a later
// read answers for this very process, never for another that got its pid.
class ProcessProbe {
 public:
  virtual ~ProcessProbe() = default;
  // The state letter and the POSIX session; false once it has ended.
  virtual bool Read(char* state, int32_t* posix_session) = 0;
};
// None when the process is gone.
std::unique_ptr<ProcessProbe> OpenProcessProbe(int32_t pid);

// Whether the process exists and has not ended (a zombie has ended).
bool ProcessIsRunning(int32_t pid);

// The logind session the process belongs to; "" when logind names none.
std::string LogindSessionOfProcess(int32_t pid);

// Every process whose POSIX session id is `posix_session`.
std::vector<int32_t> ProcessesInPosixSession(int32_t posix_session);

// The unified cgroup path of the process ("" when unknown), and the
// processes in such a cgroup.
std::string CgroupOfProcess(int32_t pid);
std::vector<int32_t> ProcessesInCgroup(const std::string& cgroup_path);

// The process holding a socket of `user` with inode `inode` open, and the
// descriptor number; `hint` (a pid, and its descriptor, found earlier) is
// checked first, and alone when `hint_only`. None when no process of that
// user holds it.
struct SocketHolder {
  int32_t pid = 0;
  int fd = -1;
};
std::optional<SocketHolder> FindSocketHolder(uint64_t inode, uint32_t user,
                                             const SocketHolder& hint, bool hint_only = false);

// Sends `signal` (signal numbers are those of the platform: use the two
// below); never to init or a process group.
Status SignalProcess(int32_t pid, int signal);
extern const int kTerminateSignal;  // SIGTERM
extern const int kKillSignal;       // SIGKILL

}  // namespace corvane
