#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Platform/Network/StreamSocket.h"
#include "Platform/Network/TcpSocket.h"

namespace corvane {
namespace {

// The poll bits now set, without waiting.
short PollNow(int fd, short events) {
  pollfd p{fd, events, 0};
  int n;
  do {
    n = ::poll(&p, 1, 0);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? p.revents : 0;
}

}  // namespace

SocketAddress SocketAddress::IPv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port) {
  SocketAddress s;
  s.family = IpFamily::kIPv4;
  s.bytes[0] = a;
  s.bytes[1] = b;
  s.bytes[2] = c;
  s.bytes[3] = d;
  s.port = port;
  return s;
}

SocketAddress SocketAddress::IPv6Loopback(uint16_t port) {
  SocketAddress s;
  s.family = IpFamily::kIPv6;
  s.bytes[15] = 1;
  s.port = port;
  return s;
}

std::unique_ptr<StreamSocket> StreamSocket::Create(IpFamily family) {
  SocketHandle fd = OpenTcpSocket(family);
  if (!fd.valid()) return nullptr;
  std::unique_ptr<StreamSocket> s(new StreamSocket(std::move(fd)));
  s->family_ = family;
  return s;
}

StreamSocket::~StreamSocket() = default;

bool StreamSocket::StartConnect(const SocketAddress& address) {
  if (connect_started_ || address.family != family_) return false;
  connect_started_ = true;
  sockaddr_storage storage{};
  socklen_t length;
  if (address.family == IpFamily::kIPv4) {
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    in->sin_port = htons(address.port);
    std::memcpy(&in->sin_addr, address.bytes.data(), 4);
    length = sizeof(sockaddr_in);
  } else {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(address.port);
    std::memcpy(&in6->sin6_addr, address.bytes.data(), 16);
    in6->sin6_scope_id = address.scope_id;
    length = sizeof(sockaddr_in6);
  }
  if (::connect(fd_.get(), reinterpret_cast<sockaddr*>(&storage), length) == 0) {
    connected_ = true;
    return true;
  }
  failed_ = errno != EINPROGRESS && errno != EINTR;
  return !failed_;
}

StreamSocket::State StreamSocket::CheckState() {
  if (!connect_started_ || failed_) return State::kError;
  if (!connected_) {
    short revents = PollNow(fd_.get(), POLLOUT);
    if (revents == 0) return State::kOpening;
    // Reading SO_ERROR clears it, so the outcome is kept.
    int err = 0;
    socklen_t len = sizeof(err);
    if (::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
      failed_ = true;
      return State::kError;
    }
    connected_ = true;
  }
  short revents = PollNow(fd_.get(), POLLIN | POLLRDHUP);
  if (revents & POLLERR) return State::kError;
  if (revents & (POLLIN | POLLHUP | POLLRDHUP)) {
    uint8_t byte;
    ssize_t n = ::recv(fd_.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return State::kAtEnd;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return State::kError;
  }
  return State::kOpen;
}

bool StreamSocket::CanAcceptBytes() {
  if (!connect_started_) return false;
  if (!connected_ && CheckState() != State::kOpen) return false;
  short revents = PollNow(fd_.get(), POLLOUT);
  return (revents & POLLOUT) && !(revents & (POLLERR | POLLHUP));
}

bool StreamSocket::HasBytesAvailable() {
  return connected_ && (PollNow(fd_.get(), POLLIN) & POLLIN);
}

void StreamSocket::Wait(bool for_reading, int timeout_ms) {
  pollfd p{fd_.get(), static_cast<short>(for_reading && connected_ ? (POLLIN | POLLRDHUP) : POLLOUT), 0};
  while (::poll(&p, 1, timeout_ms) < 0 && errno == EINTR) {
  }
}

long StreamSocket::Write(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return 0;
  Transfer t = WriteSome(fd_, bytes.data(), bytes.size());
  if (t.outcome == Transfer::Outcome::kMoved) return static_cast<long>(t.bytes);
  if (t.outcome == Transfer::Outcome::kWouldBlock) return 0;
  failed_ = true;
  return -1;
}

long StreamSocket::Read(uint8_t* buffer, size_t max) {
  if (max == 0) return 0;
  Transfer t = ReadSome(fd_, buffer, max);
  if (t.outcome == Transfer::Outcome::kMoved) return static_cast<long>(t.bytes);
  if (t.outcome == Transfer::Outcome::kWouldBlock) return 0;
  return -1;
}

std::vector<SocketAddress> LookUpHost(const std::string& host, uint16_t port) {
  std::vector<SocketAddress> v4, v6;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return {};
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    SocketAddress a;
    a.port = port;
    if (ai->ai_family == AF_INET) {
      a.family = IpFamily::kIPv4;
      std::memcpy(a.bytes.data(), &reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr, 4);
      v4.push_back(a);
    } else if (ai->ai_family == AF_INET6) {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(ai->ai_addr);
      a.family = IpFamily::kIPv6;
      std::memcpy(a.bytes.data(), &in6->sin6_addr, 16);
      a.scope_id = in6->sin6_scope_id;
      v6.push_back(a);
    }
  }
  ::freeaddrinfo(list);
  v4.insert(v4.end(), v6.begin(), v6.end());
  return v4;
}

}  // namespace corvane
