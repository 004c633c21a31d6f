#include "ServerListener.h"

#include <cstdio>

#include "ServerLog.h"

namespace corvane {

std::unique_ptr<ServerListener> ServerListener::CreateServer(EventLoop& loop,
                                                             AcceptCallback accept) {
  std::unique_ptr<ServerListener> listener(new ServerListener(loop, std::move(accept)));
  if (!CreateListenerSocket(IpFamily::kIPv4, &listener->sockets_[0]).ok()) return nullptr;
  if (!CreateListenerSocket(IpFamily::kIPv6, &listener->sockets_[1]).ok()) return nullptr;
  return listener;
}

ServerListener::~ServerListener() { InvalidateServer(); }

Status ServerListener::RegisterServer(const std::string& name, const std::string& type,
                                      uint32_t port, bool loopback_only) {
  if (port > 65535) {
    return Status::InvalidArgument("port " + std::to_string(port) + " is above 65535");
  }
  auto fail = [this](Status why) {
    service_.reset();
    CloseSockets();
    return why;
  };
  Status s = BindAndListen(sockets_[0], IpFamily::kIPv4, static_cast<uint16_t>(port),
                           loopback_only);
  if (!s.ok()) return fail(s);
  // With port 0 the system chose; IPv6 and the publication use the same.
  port_ = BoundPort(sockets_[0]);
  if (port_ == 0) return fail(Status::IOError("reading the port the IPv4 socket got"));
  s = BindAndListen(sockets_[1], IpFamily::kIPv6, port_, loopback_only);
  if (!s.ok()) return fail(s);
  for (int which = 0; which < 2; ++which) {
    watches_[which] = loop_.WatchFd(sockets_[which].get(), EventLoop::kReadable,
                                    [this, which](uint32_t) { _SocketCallBack(which); });
    if (!watches_[which]) return fail(Status::IOError("watching the listening sockets"));
  }
  name_ = name;
  type_ = type;
  if (!type_.empty()) {
    service_ = ServicePublisher::Publish(
        loop_, type_, name_, port_,
        [this](int domain, int code) { _NetServiceCallBack(domain, code); }, &s);
    if (!service_) return fail(s);
  }
  return Status::OK();
}

void ServerListener::InvalidateServer() {
  service_.reset();
  CloseSockets();
  accept_ = nullptr;
}

void ServerListener::CloseSockets() {
  for (int which = 0; which < 2; ++which) {
    watches_[which].reset();
    sockets_[which].Close();
  }
}

std::string ServerListener::Description() const {
  char text[160];
  std::snprintf(text, sizeof text, "<Server %p>{sockets=[%d, %d] service=%s, info=<0x0>}",
                static_cast<const void*>(this), sockets_[0].get(), sockets_[1].get(),
                service_ ? service_->name().c_str() : "0x0");
  return text;
}

void ServerListener::_SocketCallBack(int which) {
  // Level-triggered: one connection per event keeps the loop fair.
  AcceptedConnection connection;
  if (!AcceptConnectionSocket(sockets_[which], &connection)) return;
  if (accept_) accept_(*this, &connection, 0, 0);
}

void ServerListener::_NetServiceCallBack(int domain, int code) {
  // Called from inside the DNS-SD library: the publisher is only dropped
  // by the accept callback's owner after this returns (InvalidateServer is
  // deferred there).
  CloseSockets();
  if (accept_) accept_(*this, nullptr, domain, code);
}

}  // namespace corvane
