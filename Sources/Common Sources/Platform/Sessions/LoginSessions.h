// Every login session logind knows of, as sd-login reports it. sd-login
// reads logind's state files, so machines without logind that carry those
// files (a test rig) look the same.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

struct LoginSessionRecord {
  std::string id;
  uint32_t user = 0;
  std::string type;           // "x11", "wayland", "tty", ...
  std::string session_class;  // "user", "greeter", "background", ...
  std::string state;          // "online", "active", "closing"
  std::string display;
  bool remote = false;
  int32_t leader = 0;  // 0 when the record names none
  std::string scope;   // the systemd scope unit, "" when none
};

std::vector<LoginSessionRecord> ListLoginSessions();

// Tells when the session list may have changed (sd_login_monitor): its
// descriptor becomes readable; Flush() before reading the list again.
class LoginSessionMonitor {
 public:
  // None where logind's folders are missing; then read the list each time.
  static std::unique_ptr<LoginSessionMonitor> Create();
  ~LoginSessionMonitor();
  int fd() const;
  void Flush();

 private:
  explicit LoginSessionMonitor(void* monitor) : monitor_(monitor) {}
  void* monitor_;
};

}  // namespace corvane
