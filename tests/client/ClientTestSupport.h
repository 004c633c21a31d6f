// Real parts for the client tests: a TCP server on loopback whose answers a
// test scripts, and DNS-SD publications through the real avahi-daemon.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvane::test {

// Listens on 127.0.0.1 (a free port); every complete request frame that
// arrives is recorded and handed to the handler, which answers on `fd` as it
// likes (or closes it by returning false).
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
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// Writes all of `bytes` (blocking).
void SendAll(int fd, const std::string& bytes);
// A reply frame: big-endian body length, then the body.
std::string ReplyFrame(const std::string& body);
// An XML plist dictionary of integer and boolean entries, as the server sends.
std::string SettingsPlist(int credit, bool enabled);

// A child process whose standard output and error are watched for a text.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv);
  ~Child();  // kills and reaps
  // Waits up to `seconds` for a line of output containing `text`.
  bool WaitForOutput(const std::string& text, double seconds);
  pid_t pid() const { return pid_; }
  void Kill();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string seen_;
};

// Publishes `name` of `type` on `port` (in `domain`, "" for the default one)
// through avahi-publish; true once avahi reports it established.
bool Publish(Child** child, const std::string& name, const std::string& type, uint16_t port,
             const std::string& domain = "");

// A service type that only this test process browses, so no other server
// on the machine can answer.
std::string PrivateServiceType();

// Waits until avahi no longer lists the service; false after 4 seconds.
bool WaitUntilWithdrawn(const std::string& type, const std::string& name);

// True when avahi-daemon answers; tests that need it skip otherwise.
bool AvahiAvailable();

// Runs a program to its end; its exit status, standard output and error.
struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  double seconds = 0;
};
RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra_env = {});

}  // namespace corvane::test
