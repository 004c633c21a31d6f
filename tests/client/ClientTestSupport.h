// Real parts for the client tests: a loopback TCP server whose answers a test
// scripts, child processes, and DNS-SD publications through avahi-daemon.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Network/TcpSocket.h"
#include "TestSupport.h"
#include "WireCodec.h"

namespace corvane::test {

// Listens on 127.0.0.1 (a free port); every complete request frame is
// recorded and handed to the handler, which answers on `fd` as it likes (or
// closes it by returning false).
class FakeServer {
 public:
  using Handler = std::function<bool(int fd, const std::string& request)>;
  explicit FakeServer(Handler handler);
  ~FakeServer();
  uint16_t port() const { return port_; }
  int connections() const { return connections_.load(); }
  std::vector<std::string> requests();

 private:
  void Run();
  Handler handler_;
  SocketHandle listener_;
  int stop_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// Big-endian body length, then the body.
std::string ReplyFrame(const std::string& body);
// An XML plist dictionary as the server sends (Enabled, DQ Enabled, DQ Value 7).
std::string SettingsPlist(int credit);

// Publishes through avahi-publish (in `domain`, "" for the default one);
// the publisher once avahi reports it established, else null.
std::unique_ptr<Child> Publish(const std::string& name, const std::string& type, uint16_t port,
               const std::string& domain = "");
// A service type only this test process browses.
std::string PrivateServiceType();
// Polls `shell_command` every 100 ms until its exit status is 0 (`want_success`)
// or not; false after `seconds`.
bool WaitForCommand(const std::string& shell_command, bool want_success, double seconds);

}  // namespace corvane::test
