// TCP sockets for the server: non-blocking listeners and connections, as
// plain descriptors owned by RAII handles.
#pragma once

#include "IpAddress.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "Platform/System/FileDescriptor.h"
#include "Status.h"

namespace corvane {

// A socket is owned as any descriptor is.
using SocketHandle = FileDescriptor;

// A non-blocking TCP socket of `family`, closed on exec; invalid when the
// system gives none. Both the client's connections and the server's
// listeners start here.
SocketHandle OpenTcpSocket(IpFamily family);
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

// What one non-blocking transfer did.
struct Transfer {
  enum class Outcome {
    kMoved,       // `bytes` (more than 0 for a read) moved
    kWouldBlock,  // nothing can move now
    kEnd,         // reads only: the peer closed
    kFailed,      // the connection broke
  };
  Outcome outcome = Outcome::kFailed;
  size_t bytes = 0;
};
Transfer ReadSome(const SocketHandle& socket, void* buffer, size_t size);
Transfer WriteSome(const SocketHandle& socket, const void* data, size_t size);

// Raises the soft limit of open descriptors to the hard limit (a server
// holds one per connection).
// Returns the soft limit in force afterwards.
size_t RaiseDescriptorLimit();

}  // namespace corvane
