#include "ClientTestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>


namespace corvane::test {

FakeServer::FakeServer(Handler handler) : handler_(std::move(handler)) {
  signal(SIGPIPE, SIG_IGN);
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listen_fd_, 16) != 0 || pipe2(stop_pipe_, O_CLOEXEC) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::abort();
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

FakeServer::~FakeServer() {
  (void)!write(stop_pipe_[1], "x", 1);
  thread_.join();
  close(listen_fd_);
  close(stop_pipe_[0]);
  close(stop_pipe_[1]);
}

std::vector<std::string> FakeServer::requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void FakeServer::Run() {
  std::map<int, std::string> buffers;  // connection -> bytes not yet a frame
  for (;;) {
    std::vector<pollfd> fds{{stop_pipe_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    for (auto& [fd, _] : buffers) fds.push_back({fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents) break;
    if (fds[1].revents & POLLIN) {
      int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) buffers[fd], ++connections_;
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      int fd = fds[i].fd;
      char chunk[65536];
      ssize_t n = read(fd, chunk, sizeof chunk);
      bool keep = n > 0;
      std::string& b = buffers[fd];
      if (keep) b.append(chunk, static_cast<size_t>(n));
      while (keep && b.size() >= 4) {
        uint32_t length = (uint8_t(b[0]) << 24) | (uint8_t(b[1]) << 16) | (uint8_t(b[2]) << 8) |
                          uint8_t(b[3]);
        if (length < 9 || b.size() < length) break;
        std::string request = b.substr(0, length);
        b.erase(0, length);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(request);
        }
        keep = handler_(fd, request);
      }
      if (!keep) close(fd), buffers.erase(fd);
    }
  }
  for (auto& [fd, _] : buffers) close(fd);
}

std::string ReplyFrame(const std::string& body) {
  uint32_t n = static_cast<uint32_t>(body.size());
  return std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + body;
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

Child::Child(const std::vector<std::string>& argv) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) std::abort();
  pid_ = SpawnProcess(argv, pipe_fds[1], pipe_fds[1]);
  close(pipe_fds[1]);
  out_fd_ = pipe_fds[0];
}

Child::~Child() {
  Kill();
  close(out_fd_);
}

void Child::Kill() {
  if (pid_ > 0) KillAndReap(pid_);
  pid_ = -1;
}

bool Child::WaitForOutput(const std::string& text, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (seen_.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[512];
    ssize_t n = read(out_fd_, chunk, sizeof chunk);
    if (n <= 0) return false;
    seen_.append(chunk, static_cast<size_t>(n));
  }
  return true;
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
  for (int i = 0; i < seconds * 10; ++i) {
    if ((std::system(shell_command.c_str()) == 0) == want_success) return true;
    usleep(100000);
  }
  return false;
}

RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra_env) {
  RunResult result;
  auto start = std::chrono::steady_clock::now();
  char out_path[] = "/tmp/c5-run-out-XXXXXX", err_path[] = "/tmp/c5-run-err-XXXXXX";
  int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
  std::vector<std::string> command{"env"};
  command.insert(command.end(), extra_env.begin(), extra_env.end());
  command.insert(command.end(), argv.begin(), argv.end());
  pid_t pid = SpawnProcess(command, out_fd, err_fd);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  close(out_fd);
  close(err_fd);
  result.out = ReadFileOrEmpty(out_path);
  result.err = ReadFileOrEmpty(err_path);
  unlink(out_path);
  unlink(err_path);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace corvane::test
