#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Platform/Network/PeerUser.h"
#include "Platform/System/FileDescriptor.h"

namespace corvane {
namespace {

// Both ends of an accepted connection. The peer's socket is the one whose
// own end is `peer` and whose far end is `local`.
struct Ends {
  int family = 0;
  uint8_t peer[16] = {}, local[16] = {};
  uint16_t peer_port = 0, local_port = 0;  // host order
};

bool AddressOf(const sockaddr_storage& s, int* family, uint8_t* bytes, uint16_t* port) {
  *family = s.ss_family;
  if (s.ss_family == AF_INET) {
    auto* in = reinterpret_cast<const sockaddr_in*>(&s);
    std::memcpy(bytes, &in->sin_addr, 4);
    *port = ntohs(in->sin_port);
    return true;
  }
  if (s.ss_family == AF_INET6) {
    auto* in6 = reinterpret_cast<const sockaddr_in6*>(&s);
    std::memcpy(bytes, &in6->sin6_addr, 16);
    *port = ntohs(in6->sin6_port);
    return true;
  }
  return false;
}

bool EndsOf(const SocketHandle& connection, Ends* ends) {
  sockaddr_storage peer{}, local{};
  socklen_t peer_len = sizeof peer, local_len = sizeof local;
  if (getpeername(connection.get(), reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0 ||
      getsockname(connection.get(), reinterpret_cast<sockaddr*>(&local), &local_len) != 0) {
    return false;
  }
  int local_family = 0;
  return AddressOf(peer, &ends->family, ends->peer, &ends->peer_port) &&
         AddressOf(local, &local_family, ends->local, &ends->local_port) &&
         local_family == ends->family;
}

// A socket no longer held by any process (closed, lingering in FIN_WAIT or
// TIME_WAIT) reports no inode, and some kernels then report user 0: it says
// nothing about who sent what it carried.
bool Attached(uint32_t inode, int state) {
  return inode != 0 && state != TCP_TIME_WAIT && state != TCP_CLOSE;
}

// Opens a sock_diag socket and sends it one TCP request of `family` with
// `flags` for sockets in `states` matching `id`. Invalid when the kernel
// would not take it. Replies are read with a one-second time-out.
FileDescriptor SendDiagRequest(int family, uint16_t flags, uint32_t states,
                               const inet_diag_sockid& id) {
  FileDescriptor nl(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!nl.valid()) return nl;
  timeval timeout{1, 0};
  setsockopt(nl.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = flags;
  message.request.sdiag_family = static_cast<uint8_t>(family);
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = states;
  message.request.id = id;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(nl.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
    nl.reset();
  }
  return nl;
}

std::optional<PeerSocket> PeerUserFromDiag(const Ends& ends) {
  inet_diag_sockid id{};
  id.idiag_sport = htons(ends.peer_port);
  id.idiag_dport = htons(ends.local_port);
  std::memcpy(id.idiag_src, ends.peer, ends.family == AF_INET ? 4 : 16);
  std::memcpy(id.idiag_dst, ends.local, ends.family == AF_INET ? 4 : 16);
  id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  // One exact socket, not a dump.
  FileDescriptor nl = SendDiagRequest(ends.family, NLM_F_REQUEST, ~0u, id);
  if (!nl.valid()) return std::nullopt;
  alignas(nlmsghdr) char buffer[8192];
  ssize_t n = recv(nl.get(), buffer, sizeof buffer, 0);
  if (n <= 0) return std::nullopt;
  auto left = static_cast<unsigned>(n);
  for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
    if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY) return std::nullopt;  // an error or the end
    if (h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return std::nullopt;
    auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
    if (ntohs(found->id.idiag_sport) != ends.peer_port ||
        ntohs(found->id.idiag_dport) != ends.local_port) {
      continue;
    }
    if (!Attached(found->idiag_inode, found->idiag_state)) return std::nullopt;
    return PeerSocket{found->idiag_uid, found->idiag_inode};
  }
  return std::nullopt;
}

// "0100007F:1F90" as the kernel prints an address (each 32-bit word as the
// machine holds it) and a port.
std::string TableEndpoint(const uint8_t* address, int family, uint16_t port) {
  std::string text;
  char word[16];
  for (int i = 0; i < (family == AF_INET ? 1 : 4); ++i) {
    uint32_t value;
    std::memcpy(&value, address + 4 * i, 4);
    std::snprintf(word, sizeof word, "%08" PRIX32, value);
    text += word;
  }
  std::snprintf(word, sizeof word, ":%04X", port);
  return text + word;
}

std::optional<PeerSocket> PeerUserFromTable(const Ends& ends) {
  FILE* table = std::fopen(ends.family == AF_INET ? "/proc/net/tcp" : "/proc/net/tcp6", "re");
  if (table == nullptr) return std::nullopt;
  std::string own_end = TableEndpoint(ends.peer, ends.family, ends.peer_port);
  std::string far_end = TableEndpoint(ends.local, ends.family, ends.local_port);
  std::optional<PeerSocket> user;
  char line[512];
  while (std::fgets(line, sizeof line, table) != nullptr) {
    char local[64], remote[64];
    unsigned state = 0, uid = 0;
    unsigned long inode = 0;
    if (std::sscanf(line, " %*u: %63s %63s %x %*s %*s %*s %u %*d %lu", local, remote, &state,
                    &uid, &inode) != 5) {
      continue;
    }
    if (own_end != local || far_end != remote) continue;
    if (Attached(static_cast<uint32_t>(inode), static_cast<int>(state))) user = PeerSocket{uid, inode};
    break;
  }
  std::fclose(table);
  return user;
}

// Whether a socket listening on `bound` (of `family`) takes connections to
// `target`: the same address, the wildcard of its family, or an IPv6
// socket bound to the wildcard or to the IPv4-mapped form of an IPv4
// target (a dual-stack socket takes IPv4 connections too).
bool ListenerTakes(int family, const uint8_t* bound, const IpAddress& target) {
  static const uint8_t kZero[16] = {};
  if (family == AF_INET) {
    return !target.ipv6 && (std::memcmp(bound, kZero, 4) == 0 ||
                            std::memcmp(bound, target.bytes.data(), 4) == 0);
  }
  if (std::memcmp(bound, kZero, 16) == 0) return true;
  if (target.ipv6) return std::memcmp(bound, target.bytes.data(), 16) == 0;
  static const uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return std::memcmp(bound, kMappedPrefix, 12) == 0 &&
         std::memcmp(bound + 12, target.bytes.data(), 4) == 0;
}

// Dumps the listening TCP sockets of `family` and notes the owners of those
// that take connections to `target`:`port`. False when the kernel would not
// answer in full.
bool ListenersFromDiag(int family, const IpAddress& target, uint16_t port,
                       std::vector<uint32_t>* owners) {
  FileDescriptor nl = SendDiagRequest(family, NLM_F_REQUEST | NLM_F_DUMP, 1u << TCP_LISTEN,
                                      inet_diag_sockid{});
  if (!nl.valid()) return false;
  alignas(nlmsghdr) char buffer[16384];
  for (;;) {
    ssize_t n = recv(nl.get(), buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    auto left = static_cast<unsigned>(n);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left);
         h = NLMSG_NEXT(h, left)) {
      if (h->nlmsg_type == NLMSG_DONE) return true;
      if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY) return false;  // an error
      if (h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return false;
      auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
      if (ntohs(found->id.idiag_sport) != port || found->idiag_state != TCP_LISTEN) continue;
      if (!ListenerTakes(family, reinterpret_cast<const uint8_t*>(found->id.idiag_src), target)) {
        continue;
      }
      owners->push_back(found->idiag_uid);
    }
  }
}

}  // namespace

std::optional<uint32_t> ListeningSocketUser(const IpAddress& address, uint16_t port) {
  std::vector<uint32_t> owners;
  // A machine without IPv6 answers no dump for it; an IPv4 target can then
  // only be taken by IPv4 sockets.
  bool v4 = ListenersFromDiag(AF_INET, address, port, &owners);
  bool v6 = ListenersFromDiag(AF_INET6, address, port, &owners);
  if (!(address.ipv6 ? v6 : v4) || owners.empty()) return std::nullopt;
  for (uint32_t owner : owners) {
    if (owner != 0) return owner;
  }
  return 0u;
}

bool IsOwnAddress(const IpAddress& address) {
  if (!address.ipv6 && address.bytes[0] == 127) return true;
  static const uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  if (address.ipv6 && std::memcmp(address.bytes.data(), kLoopback6, 16) == 0) return true;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool own = false;
  for (ifaddrs* a = list; a != nullptr && !own; a = a->ifa_next) {
    if (a->ifa_addr == nullptr) continue;
    if (a->ifa_addr->sa_family == AF_INET && !address.ipv6) {
      own = std::memcmp(&reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr,
                        address.bytes.data(), 4) == 0;
    } else if (a->ifa_addr->sa_family == AF_INET6 && address.ipv6) {
      own = std::memcmp(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr,
                        address.bytes.data(), 16) == 0;
    }
  }
  freeifaddrs(list);
  return own;
}

std::optional<PeerSocket> LocalPeerSocket(const SocketHandle& connection) {
  Ends ends;
  if (!EndsOf(connection, &ends)) return std::nullopt;
  if (auto peer = PeerUserFromDiag(ends)) return peer;
  return PeerUserFromTable(ends);
}

std::optional<uint32_t> LocalPeerUser(const SocketHandle& connection) {
  auto peer = LocalPeerSocket(connection);
  return peer ? std::optional<uint32_t>(peer->user) : std::nullopt;
}

std::optional<uint32_t> LocalPeerUserFromTcpTable(const SocketHandle& connection) {
  Ends ends;
  if (!EndsOf(connection, &ends)) return std::nullopt;
  auto peer = PeerUserFromTable(ends);
  return peer ? std::optional<uint32_t>(peer->user) : std::nullopt;
}

}  // namespace corvane
