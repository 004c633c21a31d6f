// Readers of the texts the kernel and logind publish about processes and
// login sessions. Whatever a process's user controls (its name, its
// environment) may be hostile; these never read past what they are given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// /proc/PID/stat: the state letter and the POSIX session id. The command
// name in parentheses may hold any byte, ")" and blanks included, so the
// fields are read behind its last ")".
struct ProcStatFields {
  char state = 0;
  int32_t posix_session = 0;
};
std::optional<ProcStatFields> ParseProcStat(std::string_view text);

// /proc/PID/status: the real user id and the pid of a tracer (0: none).
struct ProcStatusFields {
  uint32_t real_user = 0;
  int32_t tracer = 0;
};
std::optional<ProcStatusFields> ParseProcStatus(std::string_view text);

// /proc/PID/environ: NUL-separated NAME=VALUE entries; an entry without "="
// is kept whole.
std::vector<std::string> SplitEnvironment(std::string_view text);

// /proc/PID/cgroup: the path of the unified (v2) hierarchy, "0::/path";
// empty when there is none.
std::string UnifiedCgroupPath(std::string_view text);

// The inode of a descriptor link "socket:[12345]"; none for anything else.
std::optional<uint64_t> SocketInodeOfLink(std::string_view link);

// A logind state file ("KEY=value" lines): the value of `key`, none when
// absent.
std::optional<std::string> StateFileValue(std::string_view text, std::string_view key);

// Decimal pids, one a line (cgroup.procs); anything else is skipped.
std::vector<int32_t> ParsePidList(std::string_view text);

}  // namespace corvane
