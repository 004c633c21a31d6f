// DNS-SD through avahi-daemon with the avahi-client library, driven by an
// AvahiSimplePoll of our own: nothing runs except inside RunUntil and
// Resolve, so the caller's code is never entered behind its back.
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "Platform/Network/DnsSdBrowser.h"

namespace corvane {
namespace {

struct ServiceBrowser {
  AvahiServiceBrowser* browser = nullptr;
  const bool* resolving = nullptr;
  DnsSdSession::ServiceCallback callback;
  bool stopped = false;
};

struct PendingDomain {
  bool added;
  std::string domain;
};

// One resolver per address family, so an IPv4 address can be preferred
// whatever order the answers come in.
struct FamilyResolve {
  AvahiServiceResolver* resolver = nullptr;
  bool done = false;
  int error = 0;
  std::vector<SocketAddress> addresses;
  std::string host_name;
};

class AvahiSession final : public DnsSdSession {
 public:
  AvahiSession(AvahiSimplePoll* poll, AvahiClient* client) : poll_(poll), client_(client) {}
  ~AvahiSession() override {
    for (auto& [id, b] : browsers_) {
      if (b->browser != nullptr) avahi_service_browser_free(b->browser);
    }
    if (domain_browser_ != nullptr) avahi_domain_browser_free(domain_browser_);
    avahi_client_free(client_);
    avahi_simple_poll_free(poll_);
  }

  bool SearchForDomains(DomainCallback callback) override {
    domain_callback_ = std::move(callback);
    // avahi reports only the extra domains announced on the network, never
    // its own default one, which every other DNS-SD client offers first.
    const char* local = avahi_client_get_domain_name(client_);
    NoteDomain(true, local != nullptr ? local : "local");
    domain_browser_ = avahi_domain_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                               nullptr, AVAHI_DOMAIN_BROWSER_BROWSE,
                                               static_cast<AvahiLookupFlags>(0),
                                               &AvahiSession::_DomainEvent, this);
    return domain_browser_ != nullptr;
  }

  std::optional<int> SearchForServices(const std::string& domain, const std::string& type,
                                       ServiceCallback callback) override {
    auto b = std::make_unique<ServiceBrowser>();
    b->callback = std::move(callback);
    b->resolving = &resolving_;
    b->browser = avahi_service_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                           type.c_str(), domain.c_str(),
                                           static_cast<AvahiLookupFlags>(0),
                                           &AvahiSession::_ServiceEvent, b.get());
    if (b->browser == nullptr) return std::nullopt;
    int id = next_id_++;
    browsers_[id] = std::move(b);
    return id;
  }

  void StopServiceSearch(int browser_id) override {
    auto it = browsers_.find(browser_id);
    if (it != browsers_.end()) it->second->stopped = true;
  }

  void RunUntil(const Deadline& deadline, const bool* stop) override {
    while (!*stop && !deadline.Passed()) {
      if (!pending_domains_.empty()) {
        PendingDomain d = std::move(pending_domains_.front());
        pending_domains_.pop_front();
        if (domain_callback_) domain_callback_(d.added, d.domain);
        continue;
      }
      if (avahi_simple_poll_iterate(poll_, deadline.RemainingMilliseconds()) != 0) break;
      FreeStoppedBrowsers();
    }
    FreeStoppedBrowsers();
  }

  int Resolve(const DnsSdService& service, double timeout_seconds,
              std::vector<SocketAddress>* addresses, std::string* host_name) override {
    Deadline deadline = Deadline::After(timeout_seconds);
    // A resolve is one synchronous step: browsers still open do not report
    // during it.
    resolving_ = true;
    FamilyResolve v4, v6;
    v4.resolver = NewResolver(service, AVAHI_PROTO_INET, &v4);
    v6.resolver = NewResolver(service, AVAHI_PROTO_INET6, &v6);
    v4.done = v4.resolver == nullptr;
    v6.done = v6.resolver == nullptr;
    if (v4.done && v6.done) {
      resolving_ = false;
      return avahi_client_errno(client_);
    }
    // An IPv4 answer is all we need; IPv6 only matters when IPv4 failed.
    while (!(v4.done && (v6.done || !v4.addresses.empty())) && !deadline.Passed()) {
      if (avahi_simple_poll_iterate(poll_, deadline.RemainingMilliseconds()) != 0) break;
    }
    if (v4.resolver != nullptr) avahi_service_resolver_free(v4.resolver);
    if (v6.resolver != nullptr) avahi_service_resolver_free(v6.resolver);
    resolving_ = false;
    addresses->clear();
    addresses->insert(addresses->end(), v4.addresses.begin(), v4.addresses.end());
    addresses->insert(addresses->end(), v6.addresses.begin(), v6.addresses.end());
    if (host_name != nullptr) *host_name = !v4.host_name.empty() ? v4.host_name : v6.host_name;
    if (!addresses->empty()) return 0;
    if (v4.error != 0) return v4.error;
    if (v6.error != 0) return v6.error;
    return AVAHI_ERR_TIMEOUT;
  }

 private:
  void NoteDomain(bool added, const std::string& domain) {
    if (added ? !domains_.insert(domain).second : domains_.erase(domain) == 0) return;
    pending_domains_.push_back({added, domain});
  }

  void FreeStoppedBrowsers() {
    for (auto it = browsers_.begin(); it != browsers_.end();) {
      if (it->second->stopped) {
        if (it->second->browser != nullptr) avahi_service_browser_free(it->second->browser);
        it = browsers_.erase(it);
      } else {
        ++it;
      }
    }
  }

  AvahiServiceResolver* NewResolver(const DnsSdService& s, AvahiProtocol family,
                                    FamilyResolve* into) {
    return avahi_service_resolver_new(client_, s.interface_index, s.protocol, s.name.c_str(),
                                      s.type.c_str(), s.domain.c_str(), family,
                                      static_cast<AvahiLookupFlags>(0),
                                      &AvahiSession::_ResolveEvent, into);
  }

  static void _DomainEvent(AvahiDomainBrowser*, AvahiIfIndex, AvahiProtocol,
                           AvahiBrowserEvent event, const char* domain, AvahiLookupResultFlags,
                           void* userdata) {
    auto* self = static_cast<AvahiSession*>(userdata);
    if (domain == nullptr) return;
    if (event == AVAHI_BROWSER_NEW) self->NoteDomain(true, domain);
    if (event == AVAHI_BROWSER_REMOVE) self->NoteDomain(false, domain);
  }

  static void _ServiceEvent(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                            AvahiBrowserEvent event, const char* name, const char* type,
                            const char* domain, AvahiLookupResultFlags, void* userdata) {
    auto* b = static_cast<ServiceBrowser*>(userdata);
    if (b->stopped || *b->resolving || name == nullptr || type == nullptr || domain == nullptr) return;
    if (event != AVAHI_BROWSER_NEW && event != AVAHI_BROWSER_REMOVE) return;
    DnsSdService s{name, type, domain, interface, protocol};
    b->callback(event == AVAHI_BROWSER_NEW, s);
  }

  static void _ResolveEvent(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol,
                            AvahiResolverEvent event, const char*, const char*, const char*,
                            const char* host_name, const AvahiAddress* address, uint16_t port,
                            AvahiStringList*, AvahiLookupResultFlags, void* userdata) {
    auto* into = static_cast<FamilyResolve*>(userdata);
    into->done = true;
    if (event != AVAHI_RESOLVER_FOUND || address == nullptr) {
      into->error = avahi_client_errno(avahi_service_resolver_get_client(resolver));
      if (into->error == 0) into->error = AVAHI_ERR_TIMEOUT;
      return;
    }
    if (host_name != nullptr) into->host_name = host_name;
    SocketAddress a;
    a.port = port;
    if (address->proto == AVAHI_PROTO_INET) {
      a.family = IpFamily::kIPv4;
      std::memcpy(a.bytes.data(), &address->data.ipv4.address, 4);
    } else {
      a.family = IpFamily::kIPv6;
      std::memcpy(a.bytes.data(), address->data.ipv6.address, 16);
      a.scope_id = interface > 0 ? static_cast<uint32_t>(interface) : 0;
    }
    into->addresses.push_back(a);
  }

  AvahiSimplePoll* poll_;
  AvahiClient* client_;
  AvahiDomainBrowser* domain_browser_ = nullptr;
  DomainCallback domain_callback_;
  std::set<std::string> domains_;
  std::deque<PendingDomain> pending_domains_;
  std::map<int, std::unique_ptr<ServiceBrowser>> browsers_;
  int next_id_ = 1;
  bool resolving_ = false;
};

}  // namespace

std::unique_ptr<DnsSdSession> DnsSdSession::Open(int* error) {
  *error = AVAHI_ERR_NO_MEMORY;
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  if (poll == nullptr) return nullptr;
  AvahiClient* client = avahi_client_new(avahi_simple_poll_get(poll),
                                         static_cast<AvahiClientFlags>(0), nullptr, nullptr,
                                         error);
  if (client == nullptr) {
    avahi_simple_poll_free(poll);
    return nullptr;
  }
  return std::make_unique<AvahiSession>(poll, client);
}

}  // namespace corvane
