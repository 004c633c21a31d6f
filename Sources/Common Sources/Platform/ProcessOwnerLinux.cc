#include <stdlib.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Platform/ProcessOwner.h"

namespace corvane {
namespace {

// The first number after `key` in a "Key:\tvalue..." or "KEY=value" line of
// a small system file.
std::optional<unsigned long> NumberAfter(const std::string& path, const char* key) {
  FILE* file = std::fopen(path.c_str(), "re");
  if (file == nullptr) return std::nullopt;
  std::optional<unsigned long> value;
  char line[256];
  size_t key_length = std::strlen(key);
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, key, key_length) != 0) continue;
    char* end = nullptr;
    unsigned long number = std::strtoul(line + key_length, &end, 10);
    if (end != line + key_length) value = number;
    break;
  }
  std::fclose(file);
  return value;
}

std::string ProcPath(int pid, const char* leaf) {
  return "/proc/" + std::to_string(pid) + "/" + leaf;
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
  auto leader = NumberAfter("/run/systemd/sessions/" + name, "LEADER=");
  uid_t uid;
  if (leader && *leader == static_cast<unsigned long>(pid) &&
      sd_session_get_uid(name.c_str(), &uid) >= 0) {
    *user = uid;
  }
  return true;
}

}  // namespace

ProcessOwners OwnersOfProcess(int pid) {
  ProcessOwners owners;
  if (pid <= 0) return owners;
  // "Uid:" lists the real, effective, saved and file-system user ids.
  if (auto real = NumberAfter(ProcPath(pid, "status"), "Uid:\t")) {
    owners.real_user = static_cast<uint32_t>(*real);
  }
  if (LogindSessionUser(pid, &owners.session_user)) return owners;
  // Without logind: a process that leads its own session, and the user the
  // login recorded on it. The login user id is inherited, and a process may
  // only set its own while it has none: it passes from a login down, never
  // to processes that did not descend from that login.
  if (getsid(static_cast<pid_t>(pid)) != static_cast<pid_t>(pid)) return owners;
  auto login = NumberAfter(ProcPath(pid, "loginuid"), "");
  if (login && *login != 4294967295ul) owners.session_user = static_cast<uint32_t>(*login);
  return owners;
}

}  // namespace corvane
