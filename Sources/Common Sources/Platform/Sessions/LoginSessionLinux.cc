// logind through sd-login and its state files; without it (no systemd as PID 1, or a process
// outside any logind session) the POSIX session stands in.
#include <systemd/sd-login.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "Platform/Sessions/LoginSession.h"

namespace corvane {
namespace {

// The caller's logind session ID; "" without one.
std::string CallerSession() {
  char* session = nullptr;
  if (sd_pid_get_session(0, &session) < 0 || session == nullptr) return {};
  std::string id(session);
  std::free(session);
  return id;
}

}  // namespace

// logind's state file: sd_session_get_leader reads the same key, but the
// libsystemd of Debian 12 lacks it.
int32_t LogindSessionLeader(const std::string& session) {
  if (session.empty()) return 0;
  for (char ch : session) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) return 0;
  }
  std::ifstream state("/run/systemd/sessions/" + session);
  std::string line;
  while (std::getline(state, line)) {
    if (line.rfind("LEADER=", 0) != 0) continue;
    char* end = nullptr;
    long pid = std::strtol(line.c_str() + 7, &end, 10);
    return end != line.c_str() + 7 && *end == 0 && pid > 0 && pid <= INT32_MAX
               ? static_cast<int32_t>(pid) : 0;
  }
  return 0;
}

int32_t SessionLeaderPid() {
  std::string session = CallerSession();
  int32_t leader = LogindSessionLeader(session);
  if (leader > 0) return leader;
  pid_t posix_leader = getsid(0);
  return posix_leader > 0 ? posix_leader : 0;
}

bool IsSessionActive() {
  std::string session = CallerSession();
  if (session.empty()) return true;
  // An unreadable state is taken as active, as without logind.
  return sd_session_is_active(session.c_str()) != 0;
}

int64_t ProcessUserID(int32_t pid) {
  if (pid <= 0) return -1;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Uid:", 0) != 0) continue;
    std::istringstream fields(line.substr(4));
    int64_t real_uid = -1;
    // Real, effective, saved, file-system: the first is the owner asked for.
    if (fields >> real_uid && real_uid >= 0) return real_uid;
    return -1;
  }
  return -1;
}

}  // namespace corvane
