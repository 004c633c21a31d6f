#include "FreePort.h"

#include "Platform/Network/TcpSocket.h"

namespace corvane::test {

uint16_t FreeLoopbackPort() {
  SocketHandle socket;
  if (!CreateListenerSocket(IpFamily::kIPv4, &socket).ok() ||
      !BindAndListen(socket, IpFamily::kIPv4, 0, true).ok()) {
    return 0;
  }
  return BoundPort(socket);
}

}  // namespace corvane::test
