#include "ServerHarness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "Paths.h"
#include "PlistXml.h"

extern char** environ;

namespace corvane::test {

Bytes UserAppRequest(uint8_t command, const std::string& user, const std::string& app) {
  Bytes payload;
  AppendStringField(&payload, user);
  AppendStringField(&payload, app);
  return BuildRequest(command, payload);
}

Bytes SettingsRequest(uint8_t command, const std::string& user, const std::string& app,
                      const AppSettings& s) {
  return BuildRequest(command, PackAppSettings(user, app, s));
}

Bytes SingleFieldRequest(uint8_t command, const std::string& text) {
  Bytes payload;
  AppendStringField(&payload, text);
  return BuildRequest(command, payload);
}

std::string PlistXml(const Plist& value) {
  std::string xml;
  SerializePlistXml(value, &xml);
  return xml;
}

AppSettings SampleRecord(int32_t credit, bool enabled) {
  AppSettings s;
  s.Credit = credit;
  s.Enabled = enabled;
  s.AutoUpdateCoeff = 60;
  s.AutoUpdateValue = 2;
  s.WeCoeff = 60;
  s.WeValue = 3;
  s.WdStop = 1439;
  s.WeStop = 1439;
  return s;
}

namespace {

// A port nobody listens on right now (the server gets it a moment later).
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace

ServerProcess::ServerProcess(const TempRoot& root, std::string custom_port) : root_(root) {
  if (custom_port.empty()) custom_port = std::to_string(port_ = FreePort());
  MakeFolders(root.Path("/Library/Preferences/ByHost"));
  MakeFolders(root.Path(std::string(kSupportFolder)));
  PlistDictionary prefs;
  prefs.Set("Use custom port", Plist::String("1"));
  prefs.Set("Custom port", Plist::String(custom_port));
  WriteFileOrDie(root.Path(std::string(kHostPreferenceFile)),
                 PlistXml(Plist::Dictionary(std::move(prefs))));
  out_path_ = root.path() + "/server.stdout";
  err_path_ = root.path() + "/server.stderr";
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) Kill9();
}

bool ServerProcess::Start(const std::vector<std::string>& args,
                          const std::vector<std::string>& environment) {
  std::vector<std::string> argv = {CORVANE_BINARY_DIR "/bin/Corvane 5 Server"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (auto& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  // The log of an earlier run must not be taken for this one's.
  unlink(root_.Path(std::string(kServerLogFile)).c_str());
  setenv("CORVANE_LOOPBACK_ONLY", "1", 1);
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    // A test that crashes must not leave its server behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
    execvp(cargs[0], cargs.data());
    _exit(127);
  }
  for (int i = 0; i < 400; ++i) {
    std::string log = Log();
    if (log.find("Bonjour settings done. Waiting for client...") != std::string::npos ||
        log.find("Cannot start Bonjour server.") != std::string::npos) {
      return true;
    }
    if (!Running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

bool ServerProcess::Running() {
  if (pid_ <= 0) return false;
  int status;
  return waitpid(pid_, &status, WNOHANG) == 0;
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  Kill9();
  return -1;
}

void ServerProcess::Kill9() {
  KillAndReap(pid_);
  pid_ = -1;
}

std::string ServerProcess::Log() const {
  return ReadFileOrEmpty(root_.Path(std::string(kServerLogFile)));
}
std::string ServerProcess::Stdout() const { return ReadFileOrEmpty(out_path_); }
std::string ServerProcess::Stderr() const { return ReadFileOrEmpty(err_path_); }
std::string ServerProcess::DataFile(const char* name) const {
  return ReadFileOrEmpty(root_.Path(std::string(kSupportFolder) + "/" + name));
}

Connection::Connection(int port, bool ipv6) {
  fd_ = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_storage addr{};
  socklen_t len;
  if (ipv6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&addr);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(static_cast<uint16_t>(port));
    in6->sin6_addr = in6addr_loopback;
    len = sizeof *in6;
  } else {
    auto* in = reinterpret_cast<sockaddr_in*>(&addr);
    in->sin_family = AF_INET;
    in->sin_port = htons(static_cast<uint16_t>(port));
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof *in;
  }
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

Connection::~Connection() {
  if (fd_ >= 0) close(fd_);
}

bool Connection::Send(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool Connection::ReadExactly(void* out, size_t n, int timeout_ms) {
  auto* p = static_cast<uint8_t*>(out);
  while (n > 0) {
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, timeout_ms) <= 0) return false;
    ssize_t got = recv(fd_, p, n, 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

std::optional<std::string> Connection::ReadReply(int timeout_ms) {
  uint8_t length[4];
  if (!ReadExactly(length, 4, timeout_ms)) return std::nullopt;
  std::string body(LoadBigEndian32(length), '\0');
  if (!ReadExactly(body.data(), body.size(), timeout_ms)) return std::nullopt;
  return body;
}

std::optional<Plist> Connection::ReadPlistReply(int timeout_ms) {
  auto body = ReadReply(timeout_ms);
  if (!body) return std::nullopt;
  return ParsePlistXml(*body);
}

bool Connection::ClosedByServer(int timeout_ms) {
  // Waits for the end of the stream without reading: replies still unread
  // must stay unread, or a client that never reads would start reading.
  pollfd pfd{fd_, POLLRDHUP, 0};
  return poll(&pfd, 1, timeout_ms) == 1 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

}  // namespace corvane::test
