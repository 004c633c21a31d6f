#include "ServerBrowsing.h"

#include <map>
#include <memory>

#include "IpAddress.h"
#include "Platform/Network/DnsSdBrowser.h"
#include "Utf8.h"

namespace corvane {
namespace {

// Names from the network are shown to a person: valid text of a sane length.
constexpr size_t kNameLimit = 256;
constexpr size_t kServiceLimit = 64;

bool Showable(const std::string& text) { return text.size() < kNameLimit && IsValidUtf8(text); }

}  // namespace

std::vector<FoundServer> BrowseAllServers(double seconds, const std::string& type) {
  int error = 0;
  std::unique_ptr<DnsSdSession> session = DnsSdSession::Open(&error);
  if (session == nullptr) return {};
  // Keyed by name and domain: one service is reported once per interface
  // and address family.
  std::map<std::string, DnsSdService> services;
  std::map<std::string, int> browsers;
  DnsSdSession* s = session.get();
  s->SearchForDomains([&](bool added, const std::string& domain) {
    if (!added || browsers.count(domain) != 0) return;
    auto on_service = [&](bool found, const DnsSdService& service) {
      std::string key = service.name + "\n" + service.domain;
      if (!found) {
        services.erase(key);
      } else if (services.size() < kServiceLimit && Showable(service.name)) {
        services.emplace(key, service);
      }
    };
    std::optional<int> id = s->SearchForServices(domain, type, on_service);
    if (id) browsers[domain] = *id;
  });
  bool never = false;
  s->RunUntil(Deadline::After(seconds), &never);

  std::vector<FoundServer> found;
  for (auto& [key, service] : services) {
    std::vector<SocketAddress> addresses;
    std::string host;
    if (s->Resolve(service, kResolveTimeoutSeconds, &addresses, &host) != 0 || addresses.empty()) {
      continue;
    }
    const SocketAddress& a = addresses.front();
    IpAddress ip;
    ip.ipv6 = a.family == IpFamily::kIPv6;
    ip.bytes = a.bytes;
    found.push_back({service.name, Showable(host) ? host : "", ip.Text(), a.port});
  }
  return found;
}

}  // namespace corvane
