// Runs the real server program in a private root and talks to it over real
// loopback TCP.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppSettings.h"
#include "Platform/Network/StreamSocket.h"
#include "Platform/Network/TcpSocket.h"
#include "Plist.h"
#include "TestSupport.h"
#include "WireCodec.h"

namespace corvane::test {

// Request frames as a client builds them.
Bytes UserAppRequest(uint8_t command, const std::string& user, const std::string& app);
Bytes SettingsRequest(uint8_t command, const std::string& user, const std::string& app,
                      const AppSettings& s);
Bytes SingleFieldRequest(uint8_t command, const std::string& text);
// Frames one after another, to go out in one write.
Bytes Concat(std::initializer_list<Bytes> frames);
void Append(Bytes* all, const Bytes& frame);
// How often `part` occurs in `text`.
size_t Occurrences(const std::string& text, const std::string& part);
std::string PlistXml(const Plist& value);
// A record filled like a parent's admin tool would.
AppSettings SampleRecord(int32_t credit, bool enabled);
// settings.plist in `root` holding `user`'s enabled records, app key to
// credit, without curfew and without a refill before `next_refill`.
void WriteSettingsFile(const TempRoot& root, const std::string& user,
                       const std::vector<std::pair<std::string, int32_t>>& credits,
                       double next_refill = 0);

class ServerProcess {
 public:
  // Sets the custom port preference to `custom_port`, or to a free port
  // (then known to port()) when empty.
  explicit ServerProcess(const TempRoot& root, std::string custom_port = "");

  // Starts the program with `args` and extra "NAME=value" environment
  // entries; waits until it serves or logged the retry line.
  bool Start(const std::vector<std::string>& args = {},
             const std::vector<std::string>& environment = {});
  int Stop();  // SIGTERM; the exit status, or -1 when it did not exit
  void Kill9() { process_.reset(); }
  bool Running() { return process_ && !process_->Ended(); }

  pid_t pid() const { return process_ ? process_->pid() : -1; }
  int port() const { return port_; }
  void set_port(int port) { port_ = port; }
  // Runs the server in the network namespace at `path` (a private one with
  // only loopback and a test's own links), listening on all its addresses.
  void set_net_namespace(std::string path) { net_namespace_ = std::move(path); }
  std::string Log() const;
  std::string Stdout() const { return ReadFileOrEmpty(out_path_); }
  std::string DataFile(const char* name) const;  // "settings.plist", "stats.plist"
  // `user`'s record for `app` as settings.plist holds it; empty when none.
  PlistDictionary StoredSettings(const std::string& user, const std::string& app) const;

 private:
  const TempRoot& root_;
  std::unique_ptr<Child> process_;  // killed when destroyed
  int port_ = 0;
  std::string out_path_;
  std::string net_namespace_;
};

class Connection {
 public:
  explicit Connection(int port, bool ipv6 = false);
  bool connected() const { return socket_ != nullptr; }
  bool Send(const Bytes& bytes);
  // One reply body; none after `timeout_ms` or when the server closed.
  std::optional<std::string> ReadReply(int timeout_ms = 5000);
  std::optional<Plist> ReadPlistReply(int timeout_ms = 5000);
  bool ClosedByServer(int timeout_ms = 5000);

 private:
  bool ReadExactly(void* out, size_t n, int timeout_ms);
  int fd() const { return socket_ ? socket_->Handle() : -1; }
  std::unique_ptr<StreamSocket> socket_;
};

// The "Credit" of a GetCredit reply; -1 when there is none.
int64_t CreditOf(const std::optional<Plist>& reply);
// The last day's minutes of a GetStats reply; -1 when there is none.
int64_t LastDayOf(const std::optional<Plist>& reply);
// The last day's minutes of `user`/`app` in stats.plist's dictionary; -1 for
// no file.
int64_t LastDayMinutes(const std::optional<Plist>& stats, const char* user, const char* app);
// Sends `requests` on a fresh connection and returns the first reply.
std::optional<Plist> Exchange(int port, std::initializer_list<Bytes> requests);

// A fixture with a server in a private root, not yet started; skipped
// where the server could not serve (no DNS-SD daemon to publish through).
// Fixtures that override SetUp call it first and return when IsSkipped().
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DnsSdReachable()) GTEST_SKIP() << kNoDnsSd;
  }
  std::optional<Plist> Exchange(std::initializer_list<Bytes> requests) {
    return test::Exchange(server_.port(), requests);
  }
  bool Logged(const std::string& text) const {
    return server_.Log().find(text) != std::string::npos;
  }
  TempRoot root_;
  ServerProcess server_{root_};
};

// A login session's leader: `sh -c script` in a POSIX session of its own,
// with `environment` added to this process's (or alone, when `clean`), as
// `uid` unless 0, having recorded `login_uid` (unless 0) as a login records
// its user. What the session prints goes to `output_path`. Destroying it
// kills everything in the session's process group.
class LoginSession : public Child {
 public:
  LoginSession(std::string output_path, const std::string& script,
               const std::vector<std::string>& environment, bool clean, uid_t uid = 0,
               uid_t login_uid = 0);
  pid_t leader() const { return pid(); }
};

// Runs `body` in a child process as the account `user` with the groups it
// gets at login; true when the body returned true.
bool RunAsUser(const std::string& user, const std::function<bool()>& body);

// A throwaway account without a home folder, and a group of the same name
// that it is a member of (not its primary group), both removed again at the
// end, whatever still runs as it. Accounts of one test differ by `suffix`.
// valid() is false when the machine will not make one (the test does not run
// as root).
class ScratchAccount {
 public:
  explicit ScratchAccount(const std::string& suffix = "");
  ~ScratchAccount();
  ScratchAccount(const ScratchAccount&) = delete;
  ScratchAccount& operator=(const ScratchAccount&) = delete;
  bool valid() const { return valid_; }
  const std::string& name() const { return name_; }
  uid_t uid() const { return uid_; }

 private:
  std::string name_;
  uid_t uid_ = 0;
  bool valid_ = false;
};

}  // namespace corvane::test
