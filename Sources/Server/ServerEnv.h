// The server's one seam to the machine: its clock, signals, the account and
// process tables, and the files it writes (settings, statistics, its log).
// The program runs on ServerEnv::Default(); the fuzz target and tests hand
// ServerData an environment of their own, and the log one through
// SetLogEnv. Reading the files at start-up is not part of it: nothing needs
// to stand in for that.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "AbsoluteTime.h"
#include "Platform/System/ProcessOwner.h"
#include "Status.h"

namespace corvane {

class ServerEnv {
 public:
  virtual ~ServerEnv() = default;
  // The real machine's; lives as long as the program.
  static ServerEnv* Default();

  virtual AbsoluteTime Now() = 0;
  // Sends signal 9 if `allowed()` still holds for that same process (see
  // KillProcessIf); not allowed fails with EPERM.
  virtual Status KillProcessIf(int pid, const std::function<bool()>& allowed) = 0;
  virtual bool UserInGroup(uint32_t uid, const std::string& group) = 0;
  virtual ProcessOwners OwnersOfProcess(int pid) = 0;
  // Replaces the file at `path` with `pieces`, atomically and durably.
  virtual Status WriteFileAtomically(const std::string& path,
                                     std::span<const std::string_view> pieces) = 0;
  // The server log, opened empty for writing; null when there is none.
  virtual FILE* OpenLogFile() = 0;
};

}  // namespace corvane
