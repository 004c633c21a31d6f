#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "Platform/Network/TcpSocket.h"

namespace corvane {

namespace {

Status SocketError(const char* step, int err) {
  return Status::IOError(std::string(step) + ": " + std::strerror(err), err);
}

bool IsLoopback(const sockaddr_storage& addr) {
  if (addr.ss_family == AF_INET) {
    auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  if (addr.ss_family == AF_INET6) {
    auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
    if (IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr)) return true;
    return IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr) && in6->sin6_addr.s6_addr[12] == 127;
  }
  return false;
}

}  // namespace

SocketHandle OpenTcpSocket(IpFamily family) {
  int domain = family == IpFamily::kIPv4 ? AF_INET : AF_INET6;
  return SocketHandle(::socket(domain, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

Status CreateListenerSocket(IpFamily family, SocketHandle* out) {
  SocketHandle s = OpenTcpSocket(family);
  if (!s.valid()) return SocketError("socket", errno);
  int one = 1;
  if (::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    return SocketError("setsockopt SO_REUSEADDR", errno);
  }
  if (family == IpFamily::kIPv6 &&
      ::setsockopt(s.get(), IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) != 0) {
    return SocketError("setsockopt IPV6_V6ONLY", errno);
  }
  *out = std::move(s);
  return Status::OK();
}

Status BindAndListen(const SocketHandle& socket, IpFamily family, uint16_t port,
                     bool loopback_only) {
  sockaddr_storage addr{};
  socklen_t len;
  if (family == IpFamily::kIPv4) {
    auto* in = reinterpret_cast<sockaddr_in*>(&addr);
    in->sin_family = AF_INET;
    in->sin_port = htons(port);
    in->sin_addr.s_addr = htonl(loopback_only ? INADDR_LOOPBACK : INADDR_ANY);
    len = sizeof(sockaddr_in);
  } else {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&addr);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    in6->sin6_addr = loopback_only ? in6addr_loopback : in6addr_any;
    len = sizeof(sockaddr_in6);
  }
  if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    return SocketError("bind", errno);
  }
  if (::listen(socket.get(), SOMAXCONN) != 0) return SocketError("listen", errno);
  return Status::OK();
}

uint16_t BoundPort(const SocketHandle& socket) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return 0;
}

bool AcceptConnectionSocket(const SocketHandle& listener, AcceptedConnection* out) {
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  int fd = ::accept4(listener.get(), reinterpret_cast<sockaddr*>(&peer), &len,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return false;
  out->socket = SocketHandle(fd);
  out->loopback_peer = IsLoopback(peer);
  out->peer = IpAddress();
  if (peer.ss_family == AF_INET) {
    std::memcpy(out->peer.bytes.data(), &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr, 4);
  } else if (peer.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&in6)) {
      std::memcpy(out->peer.bytes.data(), in6.s6_addr + 12, 4);
    } else {
      out->peer.ipv6 = true;
      std::memcpy(out->peer.bytes.data(), in6.s6_addr, 16);
    }
  }
  return true;
}

Transfer ReadSome(const SocketHandle& socket, void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(socket.get(), buffer, size);
    if (n > 0) return {Transfer::Outcome::kMoved, static_cast<size_t>(n)};
    if (n == 0) return {Transfer::Outcome::kEnd};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {Transfer::Outcome::kWouldBlock};
    return {Transfer::Outcome::kFailed};
  }
}

Transfer WriteSome(const SocketHandle& socket, const void* data, size_t size) {
  for (;;) {
    // A peer that went away must not kill the server with SIGPIPE.
    ssize_t n = ::send(socket.get(), data, size, MSG_NOSIGNAL);
    if (n >= 0) return {Transfer::Outcome::kMoved, static_cast<size_t>(n)};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {Transfer::Outcome::kWouldBlock};
    return {Transfer::Outcome::kFailed};
  }
}

size_t RaiseDescriptorLimit() {
  rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
  ::getrlimit(RLIMIT_NOFILE, &limit);
  return static_cast<size_t>(limit.rlim_cur);
}

}  // namespace corvane
