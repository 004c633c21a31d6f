#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "Paths.h"
#include "Platform/System/ProcessFacts.h"
#include "ProcessText.h"

namespace corvane {

const int kTerminateSignal = SIGTERM;
const int kKillSignal = SIGKILL;

namespace {

// The kernel limits an environment to a quarter of the stack limit; more
// than this is no agent's.
constexpr size_t kMaxEnvironmentBytes = 1u << 20;
constexpr size_t kMaxSmallFileBytes = 64u << 10;

std::string ProcPath(int32_t pid, const char* leaf) {
  return std::string(kProcFolder) + "/" + std::to_string(pid) + "/" + leaf;
}

// Reads at most `limit` bytes; *whole is false when there was more.
bool ReadBounded(const std::string& path, size_t limit, std::string* out, bool* whole) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->clear();
  char buffer[8192];
  *whole = true;
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    if (out->size() + static_cast<size_t>(n) > limit) {
      *whole = false;
      break;
    }
    out->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool ReadSmall(const std::string& path, std::string* out) {
  bool whole = false;
  return ReadBounded(path, kMaxSmallFileBytes, out, &whole) && whole;
}

std::string ReadLink(const std::string& path) {
  char buffer[PATH_MAX];
  ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool HoldsSocket(int32_t pid, int fd, uint64_t inode) {
  std::string link = ReadLink(ProcPath(pid, "fd/") + std::to_string(fd));
  auto found = SocketInodeOfLink(link);
  return found && *found == inode;
}

// Calls `each(pid)` for every numeric entry of /proc; stops when it
// returns true.
template <typename F>
void ForEachProcess(F each) {
  DIR* proc = opendir(std::string(kProcFolder).c_str());
  if (proc == nullptr) return;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != 0 || pid <= 0 || pid > INT32_MAX) continue;
    if (each(static_cast<int32_t>(pid))) break;
  }
  closedir(proc);
}

class LinuxProcessProbe : public ProcessProbe {
 public:
  explicit LinuxProcessProbe(int fd) : fd_(fd) {}
  ~LinuxProcessProbe() override { close(fd_); }
  bool Read(char* state, int32_t* posix_session) override {
    char buffer[1024];
    // Reading the open file again gives the process's state now; once it
    // has been reaped the read fails.
    ssize_t n = pread(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    auto fields = ParseProcStat(std::string_view(buffer, static_cast<size_t>(n)));
    if (!fields || fields->state == 'Z' || fields->state == 'X') return false;
    *state = fields->state;
    *posix_session = fields->posix_session;
    return true;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<ProcessProbe> OpenProcessProbe(int32_t pid) {
  if (pid <= 0) return nullptr;
  int fd = open(ProcPath(pid, "stat").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  auto probe = std::make_unique<LinuxProcessProbe>(fd);
  char state;
  int32_t session;
  if (!probe->Read(&state, &session)) return nullptr;
  return probe;
}

bool ReadProcessFacts(int32_t pid, bool with_environment, ProcessFacts* facts) {
  if (pid <= 0) return false;
  *facts = ProcessFacts();
  std::string text;
  if (!ReadSmall(ProcPath(pid, "stat"), &text)) return false;
  auto fields = ParseProcStat(text);
  if (!fields || fields->state == 'Z' || fields->state == 'X') return false;
  facts->state = fields->state;
  facts->posix_session = fields->posix_session;
  if (!ReadSmall(ProcPath(pid, "status"), &text)) return false;
  auto status = ParseProcStatus(text);
  if (!status) return false;
  facts->real_user = status->real_user;
  facts->tracer = status->tracer;
  // The kernel gives the files of an undumpable process to root (the
  // folder itself keeps its owner on some kernels).
  struct stat info;
  if (stat(ProcPath(pid, "status").c_str(), &info) != 0) return false;
  facts->undumpable = info.st_uid == 0 && facts->real_user != 0;
  facts->executable = ReadLink(ProcPath(pid, "exe"));
  if (with_environment) {
    bool whole = false;
    if (!ReadBounded(ProcPath(pid, "environ"), kMaxEnvironmentBytes, &text, &whole)) return false;
    facts->environment_too_large = !whole;
    facts->environment = SplitEnvironment(text);
  }
  return true;
}

bool ProcessIsRunning(int32_t pid) {
  if (pid <= 0) return false;
  std::string text;
  if (!ReadSmall(ProcPath(pid, "stat"), &text)) return false;
  auto fields = ParseProcStat(text);
  return fields && fields->state != 'Z' && fields->state != 'X';
}

std::string LogindSessionOfProcess(int32_t pid) {
  char* session = nullptr;
  if (pid <= 0 || sd_pid_get_session(pid, &session) < 0 || session == nullptr) return {};
  std::string id(session);
  std::free(session);
  return id;
}

std::vector<int32_t> ProcessesInPosixSession(int32_t posix_session) {
  std::vector<int32_t> pids;
  if (posix_session <= 1) return pids;
  ForEachProcess([&](int32_t pid) {
    if (getsid(pid) == posix_session) pids.push_back(pid);
    return false;
  });
  return pids;
}

std::string CgroupOfProcess(int32_t pid) {
  std::string text;
  if (pid <= 0 || !ReadSmall(ProcPath(pid, "cgroup"), &text)) return {};
  return UnifiedCgroupPath(text);
}

std::vector<int32_t> ProcessesInCgroup(const std::string& cgroup_path) {
  std::string text;
  bool whole = false;
  if (cgroup_path.empty() || cgroup_path.find("..") != std::string::npos ||
      !ReadBounded(std::string(kCgroupFolder) + cgroup_path + "/cgroup.procs", 16u << 20, &text,
                   &whole)) {
    return {};
  }
  return ParsePidList(text);
}

std::optional<SocketHolder> FindSocketHolder(uint64_t inode, uint32_t user,
                                             const SocketHolder& hint, bool hint_only) {
  if (hint.pid > 0 && hint.fd >= 0 && HoldsSocket(hint.pid, hint.fd, inode)) return hint;
  if (hint_only) return std::nullopt;
  std::optional<SocketHolder> holder;
  ForEachProcess([&](int32_t pid) {
    struct stat info;
    // Only that user's processes can hold the socket (an undumpable one
    // shows as root's).
    if (stat(ProcPath(pid, "").c_str(), &info) != 0 || (info.st_uid != user && info.st_uid != 0)) {
      return false;
    }
    std::string folder = ProcPath(pid, "fd");
    DIR* fds = opendir(folder.c_str());
    if (fds == nullptr) return false;
    while (dirent* entry = readdir(fds)) {
      char* end = nullptr;
      long fd = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != 0 || fd < 0 || fd > INT_MAX) continue;
      if (HoldsSocket(pid, static_cast<int>(fd), inode)) {
        holder = SocketHolder{pid, static_cast<int>(fd)};
        break;
      }
    }
    closedir(fds);
    return holder.has_value();
  });
  return holder;
}

Status SignalProcess(int32_t pid, int signal) {
  const std::string what = "signal " + std::to_string(signal) + " to pid " + std::to_string(pid);
  if (pid <= 1) return Status::InvalidArgument(what + ": init or a process group");
  return kill(pid, signal) == 0 ? Status::OK() : Status::IOError(what, errno);
}

}  // namespace corvane
