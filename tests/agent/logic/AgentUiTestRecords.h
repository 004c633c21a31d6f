// Records as the watching code builds them, for the user interface's tests.
#pragma once

#include <memory>
#include <string>

#include "WatchedApp.h"

namespace corvane::test {

inline WatchedAppRef MakeRecord(int32_t pid, const std::string& identifier,
                                const std::string& name, int32_t credit,
                                uint32_t secondsInMinute = 0, bool warned = false) {
  auto r = std::make_shared<WatchedApp>();
  r->pid = pid;
  r->identifier = identifier;
  if (!name.empty()) r->display_name = name;
  r->settings.credit = credit;
  r->seconds_in_minute = secondsInMinute;
  r->warned = warned;
  return r;
}

inline WatchedAppRef MakeSession(int32_t credit, uint32_t secondsInMinute = 0) {
  return MakeRecord(4242, "com.apple.loginwindow", "computer", credit, secondsInMinute);
}

inline WatchedAppRef MakeGlobal(uint32_t secondsInMinute = 0) {
  return MakeRecord(0, "com.quarlant.globalSettings", "", 0, secondsInMinute);
}

}  // namespace corvane::test
