#include "ClientTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

namespace corvane::test {

FakeServer::FakeServer(Handler handler) : handler_(std::move(handler)) {
  signal(SIGPIPE, SIG_IGN);
  if (!CreateListenerSocket(IpFamily::kIPv4, &listener_).ok() ||
      !BindAndListen(listener_, IpFamily::kIPv4, 0, true).ok() ||
      pipe2(stop_pipe_, O_CLOEXEC) != 0) {
    std::abort();
  }
  port_ = BoundPort(listener_);
  thread_ = std::thread([this] { Run(); });
}

FakeServer::~FakeServer() {
  (void)!write(stop_pipe_[1], "x", 1);
  thread_.join();
  close(stop_pipe_[0]);
  close(stop_pipe_[1]);
}

std::vector<std::string> FakeServer::requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void FakeServer::Run() {
  // Connection -> its socket and the bytes not yet a frame.
  std::map<int, std::pair<SocketHandle, Bytes>> open;
  for (;;) {
    std::vector<pollfd> fds{{stop_pipe_[0], POLLIN, 0}, {listener_.get(), POLLIN, 0}};
    for (auto& [fd, _] : open) fds.push_back({fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents) break;
    AcceptedConnection accepted;
    if ((fds[1].revents & POLLIN) && AcceptConnectionSocket(listener_, &accepted)) {
      open[accepted.socket.get()].first = std::move(accepted.socket);
      ++connections_;
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      auto& [socket, buffered] = open[fds[i].fd];
      uint8_t chunk[65536];
      Transfer read = ReadSome(socket, chunk, sizeof chunk);
      bool keep = read.outcome == Transfer::Outcome::kMoved ||
                  read.outcome == Transfer::Outcome::kWouldBlock;
      buffered.insert(buffered.end(), chunk, chunk + read.bytes);
      for (FrameResult frame; keep && (frame = PeekRequestFrame(buffered)).state ==
                                          FrameState::kComplete;) {
        std::string request(buffered.begin(), buffered.begin() + frame.length);
        buffered.erase(buffered.begin(), buffered.begin() + frame.length);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(request);
        }
        keep = handler_(fds[i].fd, request);
      }
      if (!keep) open.erase(fds[i].fd);
    }
  }
}

std::string ReplyFrame(const std::string& body) {
  Bytes frame = BuildReply(body);
  return std::string(frame.begin(), frame.end());
}

std::string SettingsPlist(int credit) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n<dict>\n\t<key>Credit</key>\n\t<integer>" +
         std::to_string(credit) +
         "</integer>\n\t<key>Enabled</key>\n\t<true/>\n\t<key>DQ Enabled</key>\n\t<true/>\n"
         "\t<key>DQ Value</key>\n\t<integer>7</integer>\n</dict>\n</plist>\n";
}

std::unique_ptr<Child> Publish(const std::string& name, const std::string& type, uint16_t port,
                               const std::string& domain) {
  std::vector<std::string> argv{"avahi-publish", "-s"};
  if (!domain.empty()) argv.insert(argv.end(), {"-d", domain});
  argv.insert(argv.end(), {name, type, std::to_string(port)});
  auto child = std::make_unique<Child>(argv);
  if (!child->WaitForOutput("Established", 10)) child.reset();
  return child;
}

std::string PrivateServiceType() {
  static unsigned counter = 0;
  char type[32];
  std::snprintf(type, sizeof type, "_c5t%x%x._tcp", static_cast<unsigned>(getpid()), ++counter);
  return type;
}

bool WaitForCommand(const std::string& shell_command, bool want_success, double seconds) {
  return WaitFor([&] { return (std::system(shell_command.c_str()) == 0) == want_success; },
                 seconds, 0.1);
}

}  // namespace corvane::test
