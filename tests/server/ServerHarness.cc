#include "ServerHarness.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

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

void Append(Bytes* all, const Bytes& frame) { all->insert(all->end(), frame.begin(), frame.end()); }

Bytes Concat(std::initializer_list<Bytes> frames) {
  Bytes all;
  for (const Bytes& f : frames) Append(&all, f);
  return all;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
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

void WriteSettingsFile(const TempRoot& root, const std::string& user,
                       const std::vector<std::pair<std::string, int32_t>>& credits,
                       double next_refill) {
  PlistDictionary settings;
  for (const auto& [app, credit] : credits) {
    AppSettings s;
    s.credit = credit;
    s.enabled = true;
    s.next_auto_update = next_refill;
    s.wd_stop = s.we_stop = kDefaultWindowStop;  // as read from a record without them
    StoreAppSettings(&settings, user, app, s);
  }
  MakeFolders(root.Path(std::string(kSupportFolder)));
  WriteFileOrDie(root.Path(std::string(kSettingsFile)),
                 PlistXml(Plist::Dictionary(std::move(settings))));
}

int64_t CreditOf(const std::optional<Plist>& reply) {
  const Plist* credit =
      reply && reply->IsDictionary() ? reply->AsDictionary()->Find("Credit") : nullptr;
  return credit ? NumberValue(credit, 32) : -1;
}

int64_t LastDayOf(const std::optional<Plist>& reply) {
  if (!reply || !reply->IsDictionary() || reply->AsDictionary()->empty()) return -1;
  return NumberValue(&reply->AsDictionary()->entries().back().second, 32);
}

int64_t LastDayMinutes(const std::optional<Plist>& stats, const char* user, const char* app) {
  if (!stats || !stats->IsDictionary()) return -1;
  auto child = [](const Plist* parent, const char* key) -> const Plist* {
    const Plist* c = parent ? parent->AsDictionary()->Find(key) : nullptr;
    return c && c->IsDictionary() ? c : nullptr;
  };
  const Plist* s = child(child(child(&*stats, user), app), "Stats");
  return s ? std::max<int64_t>(0, LastDayOf(*s)) : 0;
}

std::optional<Plist> Exchange(int port, std::initializer_list<Bytes> requests) {
  Connection c(port);
  for (const Bytes& b : requests) c.Send(b);
  return c.ReadPlistReply();
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
  unlink(root_.Path(std::string(kServerLogFile)).c_str());  // not an earlier run's log
  setenv("CORVANE_LOOPBACK_ONLY", "1", 1);
  // Standard error stays this program's.
  ChildSetup setup{.err = 2, .environment = environment, .die_with_parent = true,
                   .prepare = [this] {
                     if (net_namespace_.empty()) return true;
                     int ns = open(net_namespace_.c_str(), O_RDONLY | O_CLOEXEC);
                     unsetenv("CORVANE_LOOPBACK_ONLY");
                     return ns >= 0 && setns(ns, CLONE_NEWNET) == 0;
                   }};
  process_ = std::make_unique<Child>(argv, setup, out_path_);
  if (pid() < 0) return false;
  bool logged = false;
  WaitFor([&] {
    std::string log = Log();
    logged = log.find("Bonjour settings done. Waiting for client...") != std::string::npos ||
             log.find("Cannot start Bonjour server.") != std::string::npos;
    return logged || !Running();
  });
  return logged;
}

int ServerProcess::Stop() {
  if (pid() <= 0) return -1;
  kill(pid(), SIGTERM);
  int status = WaitFor([&] { return process_->Ended(); }, 5) ? process_->ExitStatus() : -1;
  process_.reset();  // killed with signal 9 when SIGTERM did not end it
  return status;
}

std::string ServerProcess::Log() const {
  return ReadFileOrEmpty(root_.Path(std::string(kServerLogFile)));
}
std::string ServerProcess::DataFile(const char* name) const {
  return ReadFileOrEmpty(root_.Path(std::string(kSupportFolder) + "/" + name));
}

PlistDictionary ServerProcess::StoredSettings(const std::string& user,
                                              const std::string& app) const {
  auto settings = ParsePlistXml(DataFile("settings.plist"));
  const Plist* d = settings && settings->IsDictionary()
                       ? FindAppSettings(*settings->AsDictionary(), user, app)
                       : nullptr;
  return d && d->IsDictionary() ? *d->AsDictionary() : PlistDictionary();
}

Connection::Connection(int port, bool ipv6)
    : socket_(StreamSocket::Create(ipv6 ? IpFamily::kIPv6 : IpFamily::kIPv4)) {
  auto to = static_cast<uint16_t>(port);
  if (socket_ && socket_->StartConnect(ipv6 ? SocketAddress::IPv6Loopback(to)
                                            : SocketAddress::IPv4(127, 0, 0, 1, to))) {
    socket_->Wait(/*for_reading=*/false, 5000);
  }
  if (socket_ && socket_->CheckState() == StreamSocket::State::kError) socket_.reset();
}

bool Connection::Send(const Bytes& bytes) {
  return SendAll(fd(), {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

bool Connection::ReadExactly(void* out, size_t n, int timeout_ms) {
  for (auto* p = static_cast<uint8_t*>(out); n > 0;) {
    pollfd pfd{fd(), POLLIN, 0};
    if (poll(&pfd, 1, timeout_ms) <= 0) return false;
    ssize_t got = recv(fd(), p, n, 0);
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
  pollfd pfd{fd(), POLLRDHUP, 0};
  return poll(&pfd, 1, timeout_ms) == 1 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

LoginSession::LoginSession(std::string output_path, const std::string& script,
                           const std::vector<std::string>& environment, bool clean, uid_t uid,
                           uid_t login_uid)
    : Child({"/bin/sh", "-c", script},
            {.environment = environment, .clean_environment = clean, .own_session = true,
             .die_with_parent = true,
             .prepare =
                 [uid, login_uid] {
                   // Refused where this process already has one.
                   if (login_uid != 0) std::ofstream("/proc/self/loginuid") << login_uid;
                   const gid_t nogroup = 65534;
                   return uid == 0 || (setgroups(0, nullptr) == 0 && setgid(nogroup) == 0 &&
                                       setuid(uid) == 0);
                 }},
            output_path) {}

bool RunAsUser(const std::string& user, const std::function<bool()>& body) {
  passwd* account = getpwnam(user.c_str());
  if (account == nullptr) return false;
  uid_t uid = account->pw_uid;
  gid_t gid = account->pw_gid;
  auto become_user = [&] {
    return initgroups(user.c_str(), gid) == 0 && setgid(gid) == 0 && setuid(uid) == 0;
  };
  return WaitExit(ForkChild({.prepare = become_user}, [&] { return body() ? 0 : 1; })) == 0;
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
