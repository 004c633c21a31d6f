// One TCP connection driven without blocking: the client module opens it,
// asks for its state and waits on it with a time-out of its own choosing.
// It opens, reads and writes through the same calls as the server's
// connections (TcpSocket.h); only connecting and waiting are its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "IpAddress.h"
#include "Platform/System/FileDescriptor.h"

namespace corvane {

struct SocketAddress {
  IpFamily family = IpFamily::kIPv4;
  // Network byte order; an IPv4 address uses the first four bytes.
  std::array<uint8_t, 16> bytes{};
  uint16_t port = 0;
  uint32_t scope_id = 0;  // interface of a link-local IPv6 address

  static SocketAddress IPv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port);
  static SocketAddress IPv6Loopback(uint16_t port);
};

class StreamSocket {
 public:
  enum class State {
    kOpening,  // connect still in progress
    kOpen,     // connected; the peer has not closed
    kAtEnd,    // the peer closed and every byte it sent has been read
    kError,    // the connect failed or the connection broke
  };

  // A new socket of the address family; null when the system gives none.
  static std::unique_ptr<StreamSocket> Create(IpFamily family);
  ~StreamSocket();
  StreamSocket(const StreamSocket&) = delete;
  StreamSocket& operator=(const StreamSocket&) = delete;

  // Starts connecting. False when the connect failed at once (a refused
  // loopback connection does) or the address is of the other family.
  bool StartConnect(const SocketAddress& address);
  bool connect_started() const { return connect_started_; }

  // Looks without waiting and without consuming any byte.
  State CheckState();
  // True when connected and a write would take bytes.
  bool CanAcceptBytes();
  bool HasBytesAvailable();

  // Waits until the socket can be read (or has reached its end or an error)
  // when `for_reading`, or can be written (or the connect has finished) when
  // not, or until `timeout_ms` has passed.
  void Wait(bool for_reading, int timeout_ms);

  // One write call; the number of bytes taken (0 when none could be), or -1
  // on a broken connection. Never raises SIGPIPE.
  long Write(std::span<const uint8_t> bytes);
  // One read call of at most `max` bytes; the number read, 0 when nothing is
  // ready, -1 at the end or on an error.
  long Read(uint8_t* buffer, size_t max);

  // A number naming the socket in diagnostics.
  int Handle() const { return fd_.get(); }

 private:
  explicit StreamSocket(FileDescriptor fd) : fd_(std::move(fd)) {}
  FileDescriptor fd_;
  IpFamily family_ = IpFamily::kIPv4;
  bool connect_started_ = false;
  bool connected_ = false;
  bool failed_ = false;
};

// The addresses of a host name for TCP (getaddrinfo), IPv4 ones first.
std::vector<SocketAddress> LookUpHost(const std::string& host, uint16_t port);

}  // namespace corvane
