// The listener object: an IPv4 and an IPv6 TCP socket on one port, and the
// DNS-SD publication of that port.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Platform/System/EventLoop.h"
#include "Platform/Network/ServicePublisher.h"
#include "Platform/Network/TcpSocket.h"
#include "Status.h"

namespace corvane {

class ServerListener {
 public:
  // Called for each accepted connection, and once with none and the error
  // pair (domain, code) when the publication fails after it was started.
  using AcceptCallback =
      std::function<void(ServerListener& listener, AcceptedConnection* connection, int domain,
                         int code)>;

  // Both sockets, with SO_REUSEADDR; none when either cannot be made.
  static std::unique_ptr<ServerListener> CreateServer(EventLoop& loop, AcceptCallback accept);
  ~ServerListener();
  ServerListener(const ServerListener&) = delete;
  ServerListener& operator=(const ServerListener&) = delete;

  // Binds IPv4 to `port` (0: the system picks), then IPv6 to the port IPv4
  // got, starts accepting on both and, when `type` is not empty, publishes
  // `type` under `name` (empty: the default name). On failure, which the
  // status names, both sockets are closed; the object is then of no
  // further use.
  Status RegisterServer(const std::string& name, const std::string& type, uint32_t port,
                      bool loopback_only);
  // Withdraws the publication, stops accepting, closes both sockets.
  void InvalidateServer();

  uint16_t port() const { return port_; }
  std::string Description() const;

 private:
  ServerListener(EventLoop& loop, AcceptCallback accept)
      : loop_(loop), accept_(std::move(accept)) {}
  void _SocketCallBack(int which);
  void _NetServiceCallBack(int domain, int code);
  void CloseSockets();

  EventLoop& loop_;
  AcceptCallback accept_;
  SocketHandle sockets_[2];  // IPv4, IPv6
  std::unique_ptr<EventLoop::Source> watches_[2];
  std::unique_ptr<ServicePublisher> service_;
  std::string name_, type_;
  uint16_t port_ = 0;
};

}  // namespace corvane
