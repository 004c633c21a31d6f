// c5admin against the real server on loopback in a private root: what each
// command stores, what it shows, and how it fails.
#include <pugixml.hpp>

#include <gtest/gtest.h>

#include "AbsoluteTime.h"
#include "ClientTestSupport.h"
#include "Paths.h"
#include "PlistFile.h"
#include "PlistXml.h"
#include "ServerHarness.h"
#include "ShellRunner.h"

namespace corvane {
namespace {

using test::ServerProcess;
using test::TempRoot;
using AdminRun = test::RunResult;

class AdminEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
  }
  AdminRun Admin(const std::string& args, int port = -1) {
    return AdminVia("", "127.0.0.1:" + std::to_string(port < 0 ? server_->port() : port), args);
  }
  // c5admin run through `via` (a command that changes user or network
  // namespace, then runs the rest) against the server at `server`.
  AdminRun AdminVia(const std::string& via, const std::string& server, const std::string& args) {
    return test::RunProgram({"sh", "-c", via + " '" CORVANE_BINARY_DIR "/bin/c5admin' --server " +
                                             server + " " + args});
  }

  PlistDictionary Stored(const std::string& user, const std::string& app) {
    return server_->StoredSettings(user, app);
  }

  void StartServer() {
    server_ = std::make_unique<ServerProcess>(root_);
    ASSERT_TRUE(server_->Start());
    ASSERT_GT(server_->port(), 0);
  }

  TempRoot root_;
  std::unique_ptr<ServerProcess> server_;
};

int64_t Number(const PlistDictionary& d, const char* key) {
  return NumberValue(d.Find(key), 64);
}

TEST_F(AdminEndToEndTest, SetGrantShowStatsAndFailures) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  AdminRun r = Admin(
      "set alice computer --enable --credit 45m --weekday 2h --weekend 1h30m --carry-over on "
      "--curfew-weekday 08:00-20:00 --quota 2GB");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("computer  yes      45m     2h       1h 30m   on          08:00-20:00"),
            std::string::npos)
      << r.out;
  PlistDictionary d = Stored("alice", "com.apple.loginwindow");
  const std::pair<const char*, int64_t> numbers[] = {
      {"Credit", 45}, {"AutoUpdateValue", 2}, {"AutoUpdateCoeff", 60}, {"WE Value", 90},
      {"WE Coeff", 1}, {"WD start", 480}, {"WD stop", 1200}, {"DQ Value", 2048}};
  for (auto [key, value] : numbers) EXPECT_EQ(Number(d, key), value) << key;
  const std::pair<const char*, bool> flags[] = {
      {"Report Credit", true}, {"WD Curfew Enabled", true}, {"WE Curfew Enabled", false},
      {"DQ Enabled", true}};
  for (auto [key, on] : flags) EXPECT_EQ(BooleanValue(d.Find(key)), on) << key;

  // Only what is named changes.
  r = Admin("set alice computer --curfew-weekday off");
  ASSERT_EQ(r.status, 0) << r.err;
  d = Stored("alice", "com.apple.loginwindow");
  EXPECT_FALSE(BooleanValue(d.Find("WD Curfew Enabled")));
  EXPECT_EQ(Number(d, "Credit"), 45);
  EXPECT_EQ(Number(d, "DQ Value"), 2048);

  r = Admin("grant alice computer 15");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Number(Stored("alice", "com.apple.loginwindow"), "Credit"), 60);
  r = Admin("grant alice computer -100");  // never below nothing
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Number(Stored("alice", "com.apple.loginwindow"), "Credit"), 0);

  // Granting time for an application that has no settings creates nothing.
  std::string before = server_->DataFile("settings.plist");
  r = Admin("grant alice org.example.Game 30");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("alice has no settings for org.example.Game"), std::string::npos) << r.err;
  EXPECT_EQ(server_->DataFile("settings.plist"), before);

  ASSERT_EQ(Admin("set alice org.example.Game --credit 1h").status, 0);  // not enabled
  r = Admin("--json show alice");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"app\": \"com.apple.loginwindow\", \"enabled\": true"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("org.example.Game"), std::string::npos) << "only enabled apps are listed";
  r = Admin("show alice global");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("global  no"), std::string::npos) << r.out;

  // Three minutes today, then the report and its chart.
  test::Connection c(server_->port());
  ASSERT_TRUE(c.connected());
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(c.Send(test::SettingsRequest(kMinuteUsed, "alice", "com.apple.loginwindow",
                                             AppSettings())));
  }
  for (int i = 0; i < 100 && server_->DataFile("stats.plist").find("<integer>3</integer>") ==
                                 std::string::npos; ++i) {
    usleep(20000);
  }
  std::string chart = root_.path() + "/usage.svg";
  r = Admin("stats alice computer --days 4 --chart '" + chart + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  auto today = LocalDateOf(AbsoluteTimeFromUnix(static_cast<double>(time(nullptr))));
  char date[16];
  snprintf(date, sizeof date, "%04d-%02d-%02d", today->year, today->month, today->day);
  EXPECT_NE(r.out.find(std::string(date) + "  3"), std::string::npos) << r.out;
  pugi::xml_document svg;
  ASSERT_TRUE(svg.load_file(chart.c_str()));
  auto bars = svg.select_nodes("//rect[@class='bar']");
  ASSERT_EQ(bars.size(), 4u);
  EXPECT_EQ(bars[3].node().attribute("data-minutes").as_int(), 3);
  EXPECT_STREQ(bars[3].node().attribute("data-date").value(), date);
  EXPECT_EQ(bars[0].node().attribute("data-minutes").as_int(), 0);
  r = Admin("--json stats alice computer --days 1");
  EXPECT_EQ(r.out, "{\"user\": \"alice\", \"app\": \"com.apple.loginwindow\", \"days\": "
                   "[{\"date\": \"" + std::string(date) + "\", \"minutes\": 3}]}\n");

  // A bad argument stops c5admin before it connects; a missing server is
  // named, and nothing is printed as if it answered.
  r = Admin("set alice computer --credit 45");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("bad duration for --credit: \"45\""), std::string::npos) << r.err;
  server_->Stop();
  r = Admin("show alice computer", 1);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot reach the Corvane server"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

const char* const kRefused =
    "c5admin: the server refused the change: run as root or as a member of the admin group, or "
    "add this machine's address to \"Admin addresses\" on the server\n";
const std::string kAsNobody = "setpriv --reuid=nobody --regid=nogroup --clear-groups";

TEST_F(AdminEndToEndTest, RefusedChangeSaysHowToGetInAndExitsOne) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the server runs as root, c5admin as nobody";
  StartServer();
  ASSERT_EQ(Admin("set alice computer --enable --credit 1h").status, 0);
  std::string server = "127.0.0.1:" + std::to_string(server_->port());
  for (const char* change : {"grant alice computer 600", "set alice computer --disable"}) {
    AdminRun r = AdminVia(kAsNobody, server, change);
    EXPECT_EQ(r.status, 1) << change;
    // The line closes what c5admin says; the client module's own notes may
    // come before it.
    EXPECT_TRUE(r.err.ends_with(kRefused)) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  PlistDictionary d = Stored("alice", "com.apple.loginwindow");
  EXPECT_EQ(Number(d, "Credit"), 60);
  EXPECT_TRUE(BooleanValue(d.Find("Enabled")));
  EXPECT_EQ(AdminVia(kAsNobody, server, "show alice computer").status, 0) << "queries stay open";
}

// Two private network namespaces joined by a veth pair: the server's
// (10.213.0.1) and another machine's (10.213.0.2).
class NetworkPair {
 public:
  NetworkPair()
      : server_("c5s" + std::to_string(getpid())), client_("c5c" + std::to_string(getpid())) {
    if (geteuid() != 0) return;
    ok_ = Run("ip netns add " + server_) && Run("ip netns add " + client_) &&
          Run("ip -n " + server_ + " link add c5v0 type veth peer name c5v1 netns " + client_) &&
          Run("ip -n " + server_ + " addr add 10.213.0.1/24 dev c5v0") &&
          Run("ip -n " + client_ + " addr add 10.213.0.2/24 dev c5v1") &&
          Run("ip -n " + server_ + " link set c5v0 up") &&
          Run("ip -n " + server_ + " link set lo up") &&
          Run("ip -n " + client_ + " link set c5v1 up") &&
          Run("ip -n " + client_ + " link set lo up");
  }
  ~NetworkPair() {
    Run("ip netns del " + server_);
    Run("ip netns del " + client_);
  }
  bool ok() const { return ok_; }
  std::string ServerPath() const { return "/run/netns/" + server_; }
  std::string InServer() const { return "ip netns exec " + server_; }
  std::string InClient() const { return "ip netns exec " + client_; }

 private:
  static bool Run(const std::string& command) {
    return system((command + " >/dev/null 2>&1").c_str()) == 0;
  }
  std::string server_, client_;
  bool ok_ = false;
};

TEST_F(AdminEndToEndTest, OtherMachinesNeedTheirAddressListed) {
  NetworkPair net;
  if (!net.ok()) {
    GTEST_SKIP() << "cannot make network namespaces joined by a veth pair (needs root and ip)";
  }
  auto start = [&](const char* addresses) {
    server_ = std::make_unique<ServerProcess>(root_);
    server_->set_net_namespace(net.ServerPath());
    // As the README tells an admin to.
    std::string set = "'" CORVANE_BINARY_DIR "/bin/Corvane_5_install_tool' SetPrefKey "
                      "'Admin addresses' '" + std::string(addresses) + "'";
    ASSERT_EQ(RunShellCommand(set + " | grep -qx 1"), 0) << "SetPrefKey failed";
    ASSERT_TRUE(server_->Start());
  };
  // Listing the server's own address lets in no one: a user of that machine
  // connecting to it is still judged as a user.
  start("10.213.0.1");
  if (server_->Log().find("Bonjour settings done") == std::string::npos) {
    GTEST_SKIP() << "the server could not publish itself (no DNS-SD daemon)";
  }
  std::string there = "10.213.0.1:" + std::to_string(server_->port());
  ASSERT_EQ(AdminVia(net.InServer(), there, "set alice computer --enable --credit 1h").status, 0);
  AdminRun r = AdminVia(net.InClient(), there, "grant alice computer 600");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.ends_with(kRefused)) << r.err;
  r = AdminVia(net.InServer() + " " + kAsNobody, there, "grant alice computer 600");
  EXPECT_TRUE(r.err.ends_with(kRefused)) << r.err;
  EXPECT_EQ(Number(Stored("alice", "com.apple.loginwindow"), "Credit"), 60);
  EXPECT_NE(server_->Log().find("Refused save credit from 10.213.0.2 for user alice"),
            std::string::npos);
  EXPECT_NE(server_->Log().find("Refused save credit from 10.213.0.1 (user nobody) for user alice"),
            std::string::npos)
      << server_->Log();
  server_->Stop();

  start("192.0.2.0/24, 10.213.0.0/24");
  there = "10.213.0.1:" + std::to_string(server_->port());
  r = AdminVia(net.InClient(), there, "grant alice computer 600");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Number(Stored("alice", "com.apple.loginwindow"), "Credit"), 660);
}

}  // namespace
}  // namespace corvane
