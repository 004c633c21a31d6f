#include <stdlib.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Platform/Sessions/LoginSession.h"
#include "Platform/System/ProcessOwner.h"

namespace corvane {
namespace {

// The login user id the kernel keeps for `pid` (inherited from the login
// that started its ancestors); none when unset or unreadable.
std::optional<uint32_t> LoginUserID(int pid) {
  FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/loginuid").c_str(), "re");
  if (file == nullptr) return std::nullopt;
  unsigned long id = 0;
  bool read = std::fscanf(file, "%lu", &id) == 1;
  std::fclose(file);
  // All ones means no login set it.
  if (!read || id >= 4294967295ul) return std::nullopt;
  return static_cast<uint32_t>(id);
}

// Whether logind files `pid` in a session at all; when it does, the user
// of that session if `pid` is its leader.
bool LogindSessionUser(int pid, std::optional<uint32_t>* user) {
  char* session = nullptr;
  if (sd_pid_get_session(static_cast<pid_t>(pid), &session) < 0 || session == nullptr) {
    return false;
  }
  std::string name = session;
  free(session);
  // The leader is in logind's record of the session; this systemd has no
  // call that returns it.
  uid_t uid;
  if (LogindSessionLeader(name) == pid &&
      sd_session_get_uid(name.c_str(), &uid) >= 0) {
    *user = uid;
  }
  return true;
}

}  // namespace

ProcessOwners OwnersOfProcess(int pid) {
  ProcessOwners owners;
  if (pid <= 0) return owners;
  int64_t real = ProcessUserID(pid);
  if (real >= 0) owners.real_user = static_cast<uint32_t>(real);
  if (LogindSessionUser(pid, &owners.session_user)) return owners;
  // Without logind: a process that leads its own session, and the user the
  // login recorded on it. The login user id is inherited, and a process may
  // only set its own while it has none: it passes from a login down, never
  // to processes that did not descend from that login.
  if (getsid(static_cast<pid_t>(pid)) != static_cast<pid_t>(pid)) return owners;
  owners.session_user = LoginUserID(pid);
  return owners;
}

}  // namespace corvane
