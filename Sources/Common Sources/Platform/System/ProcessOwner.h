// Whose a process is, for deciding on behalf of which users it may be ended.
#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

struct ProcessOwners {
  // The real user id; none when the process is gone.
  std::optional<uint32_t> real_user;
  // When the process leads a login session: the user the session belongs
  // to (logind's record, or else the login user id the session leader got
  // at login). None for any other process.
  std::optional<uint32_t> session_user;
};

ProcessOwners OwnersOfProcess(int pid);

}  // namespace corvane
