#include "ServerHarness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FreePort.h"
#include "Paths.h"
#include "PlistXml.h"

namespace corvane::test {

static Bytes FieldsRequest(uint8_t command, std::initializer_list<std::string> fields) {
  Bytes payload;
  for (const std::string& field : fields) AppendStringField(&payload, field);
  return BuildRequest(command, payload);
}
Bytes UserAppRequest(uint8_t command, const std::string& user, const std::string& app) {
  return FieldsRequest(command, {user, app});
}
Bytes SingleFieldRequest(uint8_t command, const std::string& text) {
  return FieldsRequest(command, {text});
}

Bytes Concat(std::initializer_list<Bytes> frames) {
  Bytes all;
  for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
  return all;
}

Bytes SettingsRequest(uint8_t command, const std::string& user, const std::string& app,
                      const AppSettings& s) {
  return BuildRequest(command, PackAppSettings(user, app, s));
}

std::string PlistXml(const Plist& value) {
  std::string xml;
  SerializePlistXml(value, &xml);
  return xml;
}

AppSettings SampleRecord(int32_t credit, bool enabled) {
  AppSettings s;
  s.credit = credit;
  s.enabled = enabled;
  s.auto_update_coeff = s.we_coeff = 60;
  s.auto_update_value = 2;
  s.we_value = 3;
  s.wd_stop = s.we_stop = 1439;
  return s;
}

int64_t CreditOf(const std::optional<Plist>& reply) {
  const Plist* credit =
      reply && reply->IsDictionary() ? reply->AsDictionary()->Find("Credit") : nullptr;
  return credit ? NumberValue(credit, 32) : -1;
}

std::optional<Plist> ServerTest::Exchange(std::initializer_list<Bytes> requests) {
  Connection c(server_.port());
  for (const Bytes& b : requests) c.Send(b);
  return c.ReadPlistReply();
}

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

ServerProcess::ServerProcess(const TempRoot& root, std::string custom_port) : root_(root) {
  if (custom_port.empty()) custom_port = std::to_string(port_ = FreeLoopbackPort());
  MakeFolders(root.Path("/Library/Preferences/ByHost"));
  MakeFolders(root.Path(std::string(kSupportFolder)));
  PlistDictionary prefs;
  prefs.Set("Use custom port", Plist::String("1"));
  prefs.Set("Custom port", Plist::String(custom_port));
  WriteFileOrDie(root.Path(std::string(kHostPreferenceFile)),
                 PlistXml(Plist::Dictionary(std::move(prefs))));
  out_path_ = root.path() + "/server.stdout";
}

bool ServerProcess::Start(const std::vector<std::string>& args,
                          const std::vector<std::string>& environment) {
  std::vector<std::string> argv = {CORVANE_BINARY_DIR "/bin/Corvane 5 Server"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (auto& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  unlink(root_.Path(std::string(kServerLogFile)).c_str());  // not an earlier run's log
  setenv("CORVANE_LOOPBACK_ONLY", "1", 1);
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // a crashed test leaves no server behind
    dup2(open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
    if (!net_namespace_.empty()) {
      int ns = open(net_namespace_.c_str(), O_RDONLY | O_CLOEXEC);
      if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) _exit(126);
      unsetenv("CORVANE_LOOPBACK_ONLY");
    }
    execvp(cargs[0], cargs.data());
    _exit(127);
  }
  bool logged = false;
  WaitFor([&] {
    std::string log = Log();
    logged = log.find("Bonjour settings done. Waiting for client...") != std::string::npos ||
             log.find("Cannot start Bonjour server.") != std::string::npos;
    return logged || !Running();
  });
  return logged;
}

bool ServerProcess::Running() {
  int status;
  return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 200; ++i, usleep(25000)) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
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
std::string ServerProcess::DataFile(const char* name) const {
  return ReadFileOrEmpty(root_.Path(std::string(kSupportFolder) + "/" + name));
}

Connection::Connection(int port, bool ipv6) {
  fd_ = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in in = LoopbackAddress(port);
  sockaddr_in6 in6{};
  in6.sin6_family = AF_INET6;
  in6.sin6_port = in.sin_port;
  in6.sin6_addr = in6addr_loopback;
  int rc = ipv6 ? connect(fd_, reinterpret_cast<sockaddr*>(&in6), sizeof in6)
                : connect(fd_, reinterpret_cast<sockaddr*>(&in), sizeof in);
  if (rc != 0) {
    close(fd_);
    fd_ = -1;
  }
}

Connection::~Connection() {
  if (fd_ >= 0) close(fd_);
}

bool Connection::Send(const Bytes& bytes) {
  return SendAll(fd_, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

bool Connection::ReadExactly(void* out, size_t n, int timeout_ms) {
  for (auto* p = static_cast<uint8_t*>(out); n > 0;) {
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
  return body ? ParsePlistXml(*body) : std::nullopt;
}

bool Connection::ClosedByServer(int timeout_ms) {
  // Waits for the end of the stream without reading, so unread replies stay
  // unread and a client that never reads keeps not reading.
  pollfd pfd{fd_, POLLRDHUP, 0};
  return poll(&pfd, 1, timeout_ms) == 1 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

bool RunAsUser(const std::string& user, const std::function<bool()>& body) {
  passwd* account = getpwnam(user.c_str());
  if (account == nullptr) return false;
  uid_t uid = account->pw_uid;
  gid_t gid = account->pw_gid;
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    if (initgroups(user.c_str(), gid) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(125);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ScratchAccount::ScratchAccount(const std::string& suffix)
    : name_("c5t" + std::to_string(getpid()) + suffix) {
  if (geteuid() != 0) return;
  valid_ = system(("groupadd " + name_ + " 2>/dev/null").c_str()) == 0 &&
           system(("useradd -M -N -g nogroup -G " + name_ + " -s /usr/sbin/nologin " + name_ +
                   " 2>/dev/null").c_str()) == 0;
  passwd* account = valid_ ? getpwnam(name_.c_str()) : nullptr;
  uid_ = account ? account->pw_uid : 0;
  valid_ = valid_ && uid_ > 0;
}

ScratchAccount::~ScratchAccount() {
  if (geteuid() != 0) return;
  // Both go, whichever of them was made.
  int status = system(("userdel -f " + name_ + " 2>/dev/null").c_str());
  status = system(("groupdel " + name_ + " 2>/dev/null").c_str());
  (void)status;
}

}  // namespace corvane::test
