// Announces an extra browsing domain on the local network (the PTR record
// "b._dns-sd._udp.local" naming it), as a network's DNS-SD administrator
// would, until killed. Prints "Established" once avahi has announced it.
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void _GroupEvent(AvahiEntryGroup*, AvahiEntryGroupState state, void*) {
  if (state == AVAHI_ENTRY_GROUP_ESTABLISHED) {
    std::printf("Established\n");
    std::fflush(stdout);
  }
}

// A domain name in DNS wire form: length-prefixed labels, then a zero.
std::string WireName(const std::string& domain) {
  std::string wire;
  size_t start = 0;
  while (start < domain.size()) {
    size_t dot = domain.find('.', start);
    if (dot == std::string::npos) dot = domain.size();
    wire += static_cast<char>(dot - start);
    wire += domain.substr(start, dot - start);
    start = dot + 1;
  }
  return wire + '\0';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DOMAIN\n", argv[0]);
    return 2;
  }
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  int error = 0;
  AvahiClient* client = avahi_client_new(avahi_simple_poll_get(poll),
                                         static_cast<AvahiClientFlags>(0), nullptr, nullptr, &error);
  if (client == nullptr) {
    std::fprintf(stderr, "avahi: %s\n", avahi_strerror(error));
    return 1;
  }
  AvahiEntryGroup* group = avahi_entry_group_new(client, _GroupEvent, nullptr);
  std::string rdata = WireName(argv[1]);
  int r = avahi_entry_group_add_record(
      group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
      static_cast<AvahiPublishFlags>(AVAHI_PUBLISH_USE_MULTICAST | AVAHI_PUBLISH_ALLOW_MULTIPLE),
      "b._dns-sd._udp.local", AVAHI_DNS_CLASS_IN, AVAHI_DNS_TYPE_PTR, 120, rdata.data(),
      rdata.size());
  if (r < 0 || avahi_entry_group_commit(group) < 0) {
    std::fprintf(stderr, "avahi: %s\n", avahi_strerror(avahi_client_errno(client)));
    return 1;
  }
  avahi_simple_poll_loop(poll);
  return 0;
}
