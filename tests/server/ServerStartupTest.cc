// Arguments, port preferences, DNS-SD publication, the retry line and
// stopping.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

#include "ClientTestSupport.h"
#include "Paths.h"
#include "PlistXml.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

std::string RunCommand(const std::string& command) { return RunProgram({"sh", "-c", command}).out; }

// The ports of `type` that avahi-browse resolves on loopback, retried until
// `wanted` (0: any) shows up.
std::vector<int> PublishedPorts(const std::string& type, int wanted, int attempts = 20) {
  std::vector<int> ports;
  for (int attempt = 0; attempt < attempts; ++attempt, usleep(250000)) {
    std::istringstream out(RunCommand("timeout 3 avahi-browse -rpt " + type + " 2>/dev/null"));
    for (std::string line; std::getline(out, line);) {
      if (line.rfind("=;lo;", 0) != 0) continue;
      size_t end = line.rfind(';'), start = line.rfind(';', end - 1);
      ports.push_back(std::atoi(line.substr(start + 1, end - start - 1).c_str()));
    }
    if (wanted == 0 || std::count(ports.begin(), ports.end(), wanted)) break;
  }
  return ports;
}

// "Custom port" 0: the system picks; both families and the publication use
// the picked port, which is learnt from the publication itself.
TEST(ServerStartupTest, PickedPortIsServedOnBothFamiliesAndPublished) {
  if (!DnsSdReachable()) GTEST_SKIP() << kNoDnsSd;
  TempRoot root;
  ServerProcess server(root, "0");
  // Only this server knows this user: other tests' servers publish too.
  PlistDictionary marker;
  StoreAppSettings(&marker, "marker", "a", SampleRecord(77, true));
  WriteFileOrDie(root.Path(std::string(kSettingsFile)), PlistXml(Plist::Dictionary(marker)));
  ASSERT_TRUE(server.Start());
  for (int attempt = 0; attempt < 40 && server.port() == 0; ++attempt) {
    for (int port : PublishedPorts("_corvane5._tcp", 0, 1)) {
      Connection c(port);
      c.Send(UserAppRequest(kGetCredit, "marker", "a"));
      auto reply = c.ReadPlistReply(1000);
      if (reply && reply->IsDictionary() && !reply->AsDictionary()->empty()) server.set_port(port);
    }
  }
  ASSERT_NE(server.port(), 0);
  EXPECT_NE(server.port(), kDefaultServerPort);
  for (bool ipv6 : {false, true}) {
    Connection c(server.port(), ipv6);
    ASSERT_TRUE(c.connected());
    c.Send(UserAppRequest(kGetCredit, "u", "a"));
    EXPECT_TRUE(c.ReadPlistReply());
  }
  EXPECT_EQ(server.Log().rfind("Server running\n", 0), 0u) << server.Log();
  EXPECT_NE(server.Stdout().find("Bonjour settings done. Waiting for client...\n"),
            std::string::npos);
  auto local = PublishedPorts("_corvane5local._tcp", server.port(), 1);
  EXPECT_EQ(std::count(local.begin(), local.end(), server.port()), 0);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(ServerStartupTest, NologAndLocalInEitherOrderAndReadiness) {
  if (!DnsSdReachable()) GTEST_SKIP() << kNoDnsSd;
  TempRoot root;
  ServerProcess server(root);
  // The service manager's readiness socket, as systemd passes it.
  std::string notify_path = root.path() + "/notify";
  int notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{.sun_family = AF_UNIX, .sun_path = {}};
  std::strncpy(addr.sun_path, notify_path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(notify, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_TRUE(server.Start({"local", "nolog"}, {"NOTIFY_SOCKET=" + notify_path}));
  pollfd pfd{notify, POLLIN, 0};
  char message[256] = {};
  ASSERT_EQ(poll(&pfd, 1, 5000), 1);
  recv(notify, message, sizeof message - 1, 0);
  EXPECT_STREQ(message, "READY=1");
  close(notify);
  EXPECT_EQ(server.Log().rfind("Starting server in local mode\nServer running\n", 0), 0u);
  Connection c(server.port());
  c.Send(BuildRequest(10, {}));
  c.Send(UserAppRequest(kGetCredit, "u", "a"));
  EXPECT_TRUE(c.ReadPlistReply());
  EXPECT_EQ(server.Stdout(), "");
  auto local = PublishedPorts("_corvane5local._tcp", server.port());
  EXPECT_EQ(std::count(local.begin(), local.end(), server.port()), 1);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(ServerStartupTest, UnusablePortOrNoDnsSdLogsRetryAndSigtermStops) {
  SocketHandle holder;
  ASSERT_TRUE(CreateListenerSocket(IpFamily::kIPv4, &holder).ok());
  ASSERT_TRUE(BindAndListen(holder, IpFamily::kIPv4, 0, true).ok());
  // A message bus of its own on which no avahi-daemon answers.
  std::istringstream bus(
      RunCommand("dbus-daemon --session --fork --print-address=1 --print-pid=1"));
  std::string bus_address;
  pid_t bus_pid = 0;
  std::getline(bus, bus_address);
  bus >> bus_pid;
  std::shared_ptr<void> stop_bus(nullptr, [&](void*) {
    if (bus_pid > 0) kill(bus_pid, SIGTERM);
  });
  ASSERT_FALSE(bus_address.empty());

  // A taken port, a port above 65535, no DNS-SD daemon to publish through:
  // the retry line, never a crash.
  const std::pair<std::string, std::string> cases[] = {
      {std::to_string(BoundPort(holder)), ""},
      {"70000", ""},
      {"", "DBUS_SYSTEM_BUS_ADDRESS=" + bus_address}};
  for (const auto& [port, environment] : cases) {
    TempRoot root;
    ServerProcess server(root, port);
    std::vector<std::string> env;
    if (!environment.empty()) env.push_back(environment);
    ASSERT_TRUE(server.Start({}, env)) << port << environment;
    EXPECT_NE(server.Log().find("Cannot start Bonjour server. retrying in 60 seconds...\n"),
              std::string::npos) << port << environment;
    EXPECT_TRUE(server.Running());
    EXPECT_EQ(server.Stop(), 0);
  }
}

}  // namespace
}  // namespace corvane::test
