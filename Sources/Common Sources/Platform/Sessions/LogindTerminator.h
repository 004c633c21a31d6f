// Ends a login session through logind (TerminateSession on the system bus),
// without blocking the caller's event loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Platform/System/EventLoop.h"

namespace corvane {

class LogindTerminator {
 public:
  explicit LogindTerminator(EventLoop& loop);
  ~LogindTerminator();
  LogindTerminator(const LogindTerminator&) = delete;
  LogindTerminator& operator=(const LogindTerminator&) = delete;

  // Asks logind to end `session`; `done(true)` once logind has taken it,
  // `done(false)` when it cannot (no system bus, logind not there, refused,
  // no answer within 5 seconds). `done` runs on the loop, never inside this
  // call.
  void TerminateSession(const std::string& session, std::function<void(bool)> done);

  struct Bus;

 private:
  EventLoop& loop_;
  std::unique_ptr<Bus> bus_;
};

}  // namespace corvane
