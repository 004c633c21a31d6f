#include "ClientTestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

extern char** environ;

namespace corvane::test {

FakeServer::FakeServer(Handler handler) : handler_(std::move(handler)) {
  signal(SIGPIPE, SIG_IGN);
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listen_fd_, 16) != 0 || pipe2(stop_pipe_, O_CLOEXEC) != 0) {
    std::abort();
  }
  socklen_t len = sizeof a;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
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
      if (fd >= 0) {
        buffers[fd];
        ++connections_;
      }
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      int fd = fds[i].fd;
      char chunk[65536];
      ssize_t n = read(fd, chunk, sizeof chunk);
      bool keep = n > 0;
      if (keep) buffers[fd].append(chunk, static_cast<size_t>(n));
      std::string& b = buffers[fd];
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
      if (!keep) {
        close(fd);
        buffers.erase(fd);
      }
    }
  }
  for (auto& [fd, _] : buffers) close(fd);
}

void SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string ReplyFrame(const std::string& body) {
  uint32_t n = static_cast<uint32_t>(body.size());
  std::string frame{char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
  return frame + body;
}

std::string SettingsPlist(int credit, bool enabled) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n<dict>\n\t<key>Credit</key>\n\t<integer>" +
         std::to_string(credit) + "</integer>\n\t<key>Enabled</key>\n\t<" +
         (enabled ? "true" : "false") +
         "/>\n\t<key>DQ Enabled</key>\n\t<true/>\n\t<key>DQ Value</key>\n\t<integer>7</integer>\n"
         "</dict>\n</plist>\n";
}

Child::Child(const std::vector<std::string>& argv) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  out_fd_ = pipe_fds[0];
}

Child::~Child() {
  Kill();
  close(out_fd_);
}

void Child::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status;
  waitpid(pid_, &status, 0);
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

bool Publish(Child** child, const std::string& name, const std::string& type, uint16_t port,
             const std::string& domain) {
  std::vector<std::string> argv{"avahi-publish", "-s"};
  if (!domain.empty()) {
    argv.push_back("-d");
    argv.push_back(domain);
  }
  argv.insert(argv.end(), {name, type, std::to_string(port)});
  *child = new Child(argv);
  return (*child)->WaitForOutput("Established", 10);
}

std::string PrivateServiceType() {
  static unsigned counter = 0;
  char type[32];
  std::snprintf(type, sizeof type, "_c5t%x%x._tcp", static_cast<unsigned>(getpid()), ++counter);
  return type;
}

bool WaitUntilWithdrawn(const std::string& type, const std::string& name) {
  std::string command = "avahi-browse -pt " + type + " 2>/dev/null | grep -q ';" + name + ";'";
  for (int i = 0; i < 40; ++i) {
    if (std::system(command.c_str()) != 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool AvahiAvailable() { return std::system("avahi-daemon --check >/dev/null 2>&1") == 0; }

namespace {

std::string ReadAllFrom(int fd) {
  std::string out;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) out.append(chunk, static_cast<size_t>(n));
  return out;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra_env) {
  RunResult result;
  auto start = std::chrono::steady_clock::now();
  char out_path[] = "/tmp/c5-run-out-XXXXXX";
  char err_path[] = "/tmp/c5-run-err-XXXXXX";
  int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  std::vector<char*> args, env;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  auto overridden = [&](const char* entry) {
    for (const auto& e : extra_env) {
      size_t eq = e.find('=');
      if (std::strncmp(entry, e.c_str(), eq + 1) == 0) return true;
    }
    return false;
  };
  for (char** e = environ; *e != nullptr; ++e) {
    if (!overridden(*e)) env.push_back(*e);
  }
  for (const auto& e : extra_env) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  lseek(out_fd, 0, SEEK_SET);
  lseek(err_fd, 0, SEEK_SET);
  result.out = ReadAllFrom(out_fd);
  result.err = ReadAllFrom(err_fd);
  close(out_fd);
  close(err_fd);
  unlink(out_path);
  unlink(err_path);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace corvane::test
