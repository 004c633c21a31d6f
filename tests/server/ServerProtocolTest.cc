// The real program over real loopback TCP: its arguments, port preferences,
// DNS-SD publication, the retry line and stopping; every command; and
// hostile or broken input: each bad connection goes alone, the others stay
// served.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "AbsoluteTime.h"
#include "ClientTestSupport.h"
#include "Paths.h"
#include "ServerHarness.h"

namespace corvane::test {
namespace {

// The ports of `type` that avahi-browse resolves on loopback.
std::vector<int> PublishedPorts(const std::string& type) {
  std::vector<int> ports;
  std::istringstream out(RunProgram({"timeout", "3", "avahi-browse", "-rpt", type}).out);
  for (std::string line; std::getline(out, line);) {
    if (line.rfind("=;lo;", 0) != 0) continue;
    size_t end = line.rfind(';'), start = line.rfind(';', end - 1);
    ports.push_back(std::atoi(line.substr(start + 1, end - start - 1).c_str()));
  }
  return ports;
}

// "Custom port" 0 in local mode with nolog: the system picks the port; both
// families and the local publication use it (learnt from the publication
// itself), the ordinary publication does not show it, nothing goes to the
// console, and the service manager hears of readiness.
TEST(ServerStartupTest, PickedPortLocalModeNologAndReadiness) {
  if (!DnsSdReachable()) GTEST_SKIP() << kNoDnsSd;
  TempRoot root;
  ServerProcess server(root, "0");
  // Only this server knows this user: other tests' servers publish too.
  WriteSettingsFile(root, "marker", {{"a", 77}});
  // The service manager's readiness socket, as systemd passes it.
  std::string notify_path = root.path() + "/notify";
  SocketHandle notify(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un addr{.sun_family = AF_UNIX, .sun_path = {}};
  std::strncpy(addr.sun_path, notify_path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(notify.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_TRUE(server.Start({"nolog", "local"}, {"NOTIFY_SOCKET=" + notify_path}));
  pollfd pfd{notify.get(), POLLIN, 0};
  char message[256] = {};
  ASSERT_EQ(poll(&pfd, 1, 5000), 1);
  recv(notify.get(), message, sizeof message - 1, 0);
  EXPECT_STREQ(message, "READY=1");
  for (int attempt = 0; attempt < 40 && server.port() == 0; ++attempt, usleep(250000)) {
    for (int port : PublishedPorts("_corvane5local._tcp")) {
      if (CreditOf(Exchange(port, {UserAppRequest(kGetCredit, "marker", "a")})) == 77) {
        server.set_port(port);
      }
    }
  }
  ASSERT_NE(server.port(), 0);
  EXPECT_NE(server.port(), kDefaultServerPort);
  for (bool ipv6 : {false, true}) {
    Connection c(server.port(), ipv6);
    ASSERT_TRUE(c.connected());
    c.Send(BuildRequest(10, {}));  // its console line goes nowhere
    c.Send(UserAppRequest(kGetCredit, "u", "a"));
    EXPECT_TRUE(c.ReadPlistReply());
  }
  EXPECT_EQ(server.Log().rfind("Starting server in local mode\nServer running\n", 0), 0u)
      << server.Log();
  EXPECT_EQ(server.Stdout(), "");
  auto ordinary = PublishedPorts("_corvane5._tcp");
  EXPECT_EQ(std::count(ordinary.begin(), ordinary.end(), server.port()), 0);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(ServerStartupTest, UnusablePortOrNoDnsSdLogsRetryAndSigtermStops) {
  SocketHandle holder;
  ASSERT_TRUE(CreateListenerSocket(IpFamily::kIPv4, &holder).ok());
  ASSERT_TRUE(BindAndListen(holder, IpFamily::kIPv4, 0, true).ok());
  // A message bus of its own on which no avahi-daemon answers.
  const std::string bus_address = "unix:abstract=c5startup" + std::to_string(getpid());
  Child bus({"dbus-daemon", "--session", "--nofork", "--print-address=1",
             "--address=" + bus_address});
  ASSERT_TRUE(bus.WaitForOutput(bus_address, 5)) << bus.output();

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

class ServerProtocolTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(server_.Start());
  }
};

TEST_F(ServerProtocolTest, EveryCommandOnTheWireWholeSplitAndBatched) {
  const std::string login = "com.apple.loginwindow", calc = "org.gnome.Calculator";
  Connection c(server_.port(), /*ipv6=*/true);
  ASSERT_TRUE(c.connected());
  AppSettings off = SampleRecord(5, false);
  for (const Bytes& b : {SettingsRequest(kSaveCredit, "alice", login, SampleRecord(1, true)),
                         SettingsRequest(kSaveCredit, "alice", calc, off),
                         SettingsRequest(kMinuteUsed, "alice", login, off),
                         SettingsRequest(kMinuteUsed, "alice", login, off),
                         UserAppRequest(kGetCredit, "alice", login)}) {
    ASSERT_TRUE(c.Send(b));
  }
  auto credit = c.ReadPlistReply();
  ASSERT_TRUE(credit && credit->IsDictionary());
  // All sixteen keys; the credit never goes below 0 while minutes count on.
  EXPECT_EQ(credit->AsDictionary()->size(), 16u);
  EXPECT_EQ(CreditOf(credit), 0);
  EXPECT_TRUE(BooleanValue(credit->AsDictionary()->Find("Enabled")));
  EXPECT_EQ(NumberValue(credit->AsDictionary()->Find("AutoUpdateCoeff"), 8), 60);

  ASSERT_TRUE(c.Send(UserAppRequest(kGetStats, "alice", login)));
  auto stats = c.ReadPlistReply();
  ASSERT_TRUE(stats && stats->IsDictionary());
  std::string today = DayKey(AbsoluteTimeFromUnix(static_cast<double>(time(nullptr))));
  EXPECT_EQ(NumberValue(stats->AsDictionary()->Find(today), 32), 2);

  ASSERT_TRUE(c.Send(SingleFieldRequest(kGetEnabledApps, "alice")));
  EXPECT_EQ(c.ReadPlistReply(), Plist::Array({Plist::String(login)}));

  // Unknown users and apps answer empty containers, never nothing.
  EXPECT_EQ(Exchange({UserAppRequest(kGetStats, "alice", calc)}), Plist::Dictionary());
  EXPECT_EQ(Exchange({SingleFieldRequest(kGetEnabledApps, "nobody")}), Plist::Array());

  // Empty-payload frames of command 0, 8 and 10 are consumed without reply
  // (8, an agent saying it is alive, is the server's own, and silent); then
  // a request sent byte by byte, and three in one write with the first 3
  // bytes of a fourth, which must wait for the rest.
  for (uint8_t command : {0, 8, 10}) ASSERT_TRUE(c.Send(BuildRequest(command, {})));
  Bytes fourth = UserAppRequest(kGetCredit, "alice", calc);
  for (uint8_t byte : fourth) {
    ASSERT_TRUE(c.Send({byte}));
    usleep(2000);
  }
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 5);
  ASSERT_TRUE(c.Send(Concat({fourth, UserAppRequest(kGetCredit, "alice", login),
                             UserAppRequest(kGetCredit, "bob", "x"),
                             Bytes(fourth.begin(), fourth.begin() + 3)})));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 5);
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 0);
  EXPECT_EQ(c.ReadPlistReply(), Plist::Dictionary());
  EXPECT_FALSE(c.ReadReply(300));
  ASSERT_TRUE(c.Send(Bytes(fourth.begin() + 3, fourth.end())));
  EXPECT_EQ(CreditOf(c.ReadPlistReply()), 5);

  EXPECT_TRUE(Logged("Connection with client initialized\n\n"));
  EXPECT_TRUE(Logged("handling save credit for user alice and app org.gnome.Calculator\n"));
  EXPECT_TRUE(Logged("handling minute used notification user alice and app " + login + "\n"));
  EXPECT_TRUE(Logged("handling get credit for user bob and app x\n"));
  EXPECT_FALSE(Logged("Handling command"));
  EXPECT_EQ(server_.Stdout().rfind("Server running\n", 0), 0u) << server_.Stdout();
  EXPECT_NE(server_.Stdout().find("Handling command 0\nHandling command 10\n"),
            std::string::npos)
      << server_.Stdout();
}

// Each bad connection is closed or answered alone; a bystander connection
// opened first is served throughout. (The frame reader's and field
// reader's own verdicts on bad bytes are WireCodecTest's.)
TEST_F(ServerProtocolTest, EachBadConnectionGoesAloneTheOthersAreServed) {
  Exchange({SettingsRequest(kSaveCredit, "u", "a", SampleRecord(30, true)),
            UserAppRequest(kGetCredit, "u", "a")});
  Connection bystander(server_.port());
  for (uint32_t length : {0u, (1u << 20) + 1}) {
    Connection bad(server_.port());
    Bytes header = BuildRequest(kGetCredit, {});
    StoreBigEndian32(length, header.data());
    ASSERT_TRUE(bad.Send(header));
    EXPECT_TRUE(bad.ClosedByServer()) << "length " << length;
  }
  EXPECT_TRUE(Logged("Closing a connection: request length 0 is outside 9 to 1048576\n"));
  // Exactly 1 MiB is allowed and handled once complete.
  Bytes frame = UserAppRequest(kGetCredit, "u", "a");
  frame.resize(1u << 20);
  StoreBigEndian32(1u << 20, frame.data());
  ASSERT_TRUE(bystander.Send(frame));
  EXPECT_EQ(CreditOf(bystander.ReadPlistReply()), 30);

  // A SaveCredit whose record is cut short stores nothing; MinuteUsed still
  // charges the minute, since it never reads the record. A user field that
  // cannot be read is an absent user, answered like an unknown one.
  Connection c(server_.port());
  Bytes save = SettingsRequest(kSaveCredit, "u", "a", SampleRecord(999, false));
  save.resize(save.size() - 1);
  StoreBigEndian32(static_cast<uint32_t>(save.size()), save.data());
  for (const Bytes& b : {save, UserAppRequest(kMinuteUsed, "u", "a"),
                         UserAppRequest(kGetCredit, std::string("\xC3\x28", 2), "a"),
                         UserAppRequest(kGetCredit, "u", "a")}) {
    ASSERT_TRUE(c.Send(b));
  }
  EXPECT_EQ(c.ReadPlistReply(), Plist::Dictionary());
  auto reply = c.ReadPlistReply();
  EXPECT_EQ(CreditOf(reply), 29);
  EXPECT_TRUE(reply && BooleanValue(reply->AsDictionary()->Find("Enabled")));

  // More replies than the socket takes at once all arrive, in request order.
  Connection slow(server_.port());
  Bytes batch;
  for (int i = 0; i < 3000; ++i) {
    Append(&batch, UserAppRequest(kGetCredit, "u", i % 2 ? "a" : "missing"));
  }
  ASSERT_TRUE(slow.Send(batch));
  for (int i = 0; i < 3000; ++i) {
    auto answer = slow.ReadPlistReply();
    ASSERT_TRUE(answer) << "reply " << i;
    ASSERT_EQ(answer->AsDictionary()->empty(), i % 2 == 0) << "reply " << i;
  }
  // A client that never reads is dropped once its replies pass 1 MiB.
  Connection deaf(server_.port());
  Bytes request = UserAppRequest(kGetCredit, "u", "a");
  bool send_failed = false;
  for (int i = 0; i < 200000 && !send_failed; ++i) send_failed = !deaf.Send(request);
  EXPECT_TRUE(send_failed || deaf.ClosedByServer());
  ASSERT_TRUE(bystander.Send(UserAppRequest(kGetCredit, "u", "a")));
  EXPECT_EQ(CreditOf(bystander.ReadPlistReply()), 29);
}

}  // namespace
}  // namespace corvane::test
