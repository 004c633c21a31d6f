// Announces an extra browsing domain on the local network (the PTR record
// "b._dns-sd._udp.local" naming it), as a network's DNS-SD administrator
// would, until killed. Prints "Established" once avahi has announced it.
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  // The domain in DNS wire form: length-prefixed labels, then a zero.
  std::string domain = std::string(argv[1]) + ".", rdata;
  for (size_t start = 0, dot; (dot = domain.find('.', start)) != std::string::npos;
       start = dot + 1) {
    if (dot > start) rdata += static_cast<char>(dot - start) + domain.substr(start, dot - start);
  }
  rdata += '\0';
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  int error = 0;
  AvahiClient* client = avahi_client_new(avahi_simple_poll_get(poll), AvahiClientFlags(0),
                                         nullptr, nullptr, &error);
  if (client == nullptr) {
    std::fprintf(stderr, "avahi: %s\n", avahi_strerror(error));
    return 1;
  }
  auto established = [](AvahiEntryGroup*, AvahiEntryGroupState state, void*) {
    if (state == AVAHI_ENTRY_GROUP_ESTABLISHED) std::printf("Established\n"), std::fflush(stdout);
  };
  AvahiEntryGroup* group = avahi_entry_group_new(client, established, nullptr);
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
}
