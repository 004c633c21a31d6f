// Who is at the other end of a TCP connection that comes from this machine:
// the user that owns the peer's socket, as the kernel records it. The peer
// cannot choose this, unlike anything it sends.
#pragma once

#include <cstdint>
#include <optional>

#include "IpAddress.h"
#include "Platform/Network/TcpSocket.h"

namespace corvane {

// True when `address` is a loopback address or one of this machine's own
// addresses: a peer using it is on this machine, whatever interface it took.
bool IsOwnAddress(const IpAddress& address);

// The user id owning the other end of `connection`, an accepted TCP socket
// whose peer is a socket of this machine. None when that socket is not
// found, no longer belongs to any process (closed, or only lingering), or
// the system will not say. Asks the kernel's socket diagnostics and falls
// back to the system's TCP tables.
std::optional<uint32_t> LocalPeerUser(const SocketHandle& connection);
// The user and the inode of the peer's socket, from the same sources:
// the inode leads to the process holding it.
struct PeerSocket {
  uint32_t user = 0;
  uint64_t inode = 0;
};
std::optional<PeerSocket> LocalPeerSocket(const SocketHandle& connection);
// The user id owning the TCP socket of this machine that listens for
// connections to `address` at `port` (bound to it or to every address). None
// when nothing listens there or the system will not say; when several
// sockets listen, a user other than root wins, so that a socket of anyone
// else never passes for root's.
std::optional<uint32_t> ListeningSocketUser(const IpAddress& address, uint16_t port);
// The fallback alone, for tests: the same answer from the TCP tables.
std::optional<uint32_t> LocalPeerUserFromTcpTable(const SocketHandle& connection);

}  // namespace corvane
