// Runs the real server program in a private root and talks to it over real
// loopback TCP.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "AppSettings.h"
#include "Plist.h"
#include "TestSupport.h"
#include "WireCodec.h"

namespace corvane::test {

// Request frames as a client builds them.
Bytes UserAppRequest(uint8_t command, const std::string& user, const std::string& app);
Bytes SettingsRequest(uint8_t command, const std::string& user, const std::string& app,
                      const AppSettings& s);
Bytes SingleFieldRequest(uint8_t command, const std::string& text);

// A plist document as the files hold it.
std::string PlistXml(const Plist& value);

class ServerProcess {
 public:
  // Writes the port preferences into the root's preference store: "Use
  // custom port" 1 and "Custom port" `custom_port`, or a free port when
  // empty (port() then knows it).
  explicit ServerProcess(const TempRoot& root, std::string custom_port = "");
  ~ServerProcess();

  // Starts the program with `args` and extra environment entries
  // ("NAME=value") and waits until it serves or logged the retry line.
  bool Start(const std::vector<std::string>& args = {},
             const std::vector<std::string>& environment = {});
  // SIGTERM and wait; returns the exit status (-1 when it did not exit).
  int Stop();
  void Kill9();
  bool Running();

  pid_t pid() const { return pid_; }
  int port() const { return port_; }
  void set_port(int port) { port_ = port; }
  std::string Log() const;
  std::string Stdout() const;
  std::string Stderr() const;
  std::string DataFile(const char* name) const;  // "settings.plist", "stats.plist"

 private:
  const TempRoot& root_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string out_path_, err_path_;
};

// One client connection.
class Connection {
 public:
  explicit Connection(int port, bool ipv6 = false);
  ~Connection();
  bool connected() const { return fd_ >= 0; }
  bool Send(const Bytes& bytes);
  // One reply body, or none after `timeout_ms` or when the server closed.
  std::optional<std::string> ReadReply(int timeout_ms = 5000);
  // Reads one reply and parses it with the plist reader.
  std::optional<Plist> ReadPlistReply(int timeout_ms = 5000);
  // True when the server closes the connection within `timeout_ms`.
  bool ClosedByServer(int timeout_ms = 5000);

 private:
  bool ReadExactly(void* out, size_t n, int timeout_ms);
  int fd_ = -1;
};

// A record filled like a parent's admin tool would.
AppSettings SampleRecord(int32_t credit, bool enabled);

}  // namespace corvane::test
