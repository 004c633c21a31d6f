// Every server a DNS-SD browse turns up in a time window, for a program that
// lets its user choose (CorvaneLoader's discovery takes the first one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CorvaneLoader.h"

namespace corvane {

struct FoundServer {
  std::string name;       // the service instance name
  std::string host_name;  // the host that offers it ("" when not told)
  std::string address;    // the first resolved address as text ("::1", "10.0.0.2")
  uint16_t port = 0;
};

// Browses `type` in every browsable domain for `seconds`, then resolves each
// service found; services that do not resolve are left out. Empty when no
// DNS-SD daemon answers.
std::vector<FoundServer> BrowseAllServers(double seconds, const std::string& type = kServiceType);

}  // namespace corvane
