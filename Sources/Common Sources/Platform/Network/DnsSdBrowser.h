// DNS-SD browsing and resolving for a synchronous client: searches report
// through callbacks that run only inside RunUntil, on the caller's thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/System/Deadline.h"
#include "Platform/Network/StreamSocket.h"

namespace corvane {

// A service instance as a browser reported it; enough to resolve it later,
// also after the session that found it has ended.
struct DnsSdService {
  std::string name;
  std::string type;
  std::string domain;
  int interface_index = -1;  // -1: any
  int protocol = -1;         // -1: any
};

class DnsSdSession {
 public:
  using DomainCallback = std::function<void(bool added, const std::string& domain)>;
  using ServiceCallback = std::function<void(bool added, const DnsSdService& service)>;

  // Connects to the DNS-SD daemon; null, with the daemon library's
  // (negative) error code in *error, when none answers.
  static std::unique_ptr<DnsSdSession> Open(int* error);
  virtual ~DnsSdSession() = default;

  // Reports the domains offered for browsing, the local default domain
  // first. False when the search could not start.
  virtual bool SearchForDomains(DomainCallback callback) = 0;
  // Starts browsing `type` in `domain`; the browser's id, none when the
  // search could not start.
  virtual std::optional<int> SearchForServices(const std::string& domain,
                                               const std::string& type,
                                               ServiceCallback callback) = 0;
  // No further events of that browser are reported. Safe inside its own
  // callback.
  virtual void StopServiceSearch(int browser_id) = 0;

  // Delivers events until `*stop` turns true or the deadline passes.
  virtual void RunUntil(const Deadline& deadline, const bool* stop) = 0;

  // Resolves to socket addresses, IPv4 ones first, and (when `host_name`
  // is given) the name of the host that offers the service. 0, or the
  // daemon's (negative) error code; a time-out is an error too.
  virtual int Resolve(const DnsSdService& service, double timeout_seconds,
                      std::vector<SocketAddress>* addresses,
                      std::string* host_name = nullptr) = 0;
};

}  // namespace corvane
