// TCP sockets for the server: non-blocking listeners and connections, as
// plain descriptors owned by RAII handles.
#pragma once

#include "IpAddress.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "Status.h"

namespace corvane {

// Owns a descriptor; closes it when destroyed.
class SocketHandle {
 public:
  SocketHandle() = default;
  explicit SocketHandle(int fd) : fd_(fd) {}
  ~SocketHandle() { Close(); }
  SocketHandle(SocketHandle&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  SocketHandle& operator=(SocketHandle&& o) noexcept;
  SocketHandle(const SocketHandle&) = delete;
  SocketHandle& operator=(const SocketHandle&) = delete;

  int fd() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

enum class IpFamily { kIPv4, kIPv6 };

// A non-blocking TCP socket of `family` with SO_REUSEADDR set (and, for
// IPv6, IPv6 only, so both families can share one port). Not yet bound.
Status CreateListenerSocket(IpFamily family, SocketHandle* out);
// Binds to the any address (or the loopback address when `loopback_only`)
// and `port` (0: the system picks), then listens.
Status BindAndListen(const SocketHandle& socket, IpFamily family, uint16_t port,
                     bool loopback_only);
// The port the socket is bound to; 0 on failure.
uint16_t BoundPort(const SocketHandle& socket);

struct AcceptedConnection {
  SocketHandle socket;      // non-blocking
  bool loopback_peer = false;  // 127.0.0.0/8, ::1 or ::ffff:127.0.0.0/104
  IpAddress peer;
};
// Takes one pending connection. False when none is pending or on error.
bool AcceptConnectionSocket(const SocketHandle& listener, AcceptedConnection* out);

// Non-blocking transfer: bytes moved; 0 for end of stream (reads only);
// kWouldBlock when nothing can move now; another negative value (-errno) on
// failure.
inline constexpr long kWouldBlock = -1000000;
long ReadSome(const SocketHandle& socket, void* buffer, size_t size);
long WriteSome(const SocketHandle& socket, const void* data, size_t size);

// Raises the soft limit of open descriptors to the hard limit (a server
// holds one per connection).
// Returns the soft limit in force afterwards.
size_t RaiseDescriptorLimit();

}  // namespace corvane
