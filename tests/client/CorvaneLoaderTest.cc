// The client module against scripted servers on loopback, found through the
// real avahi-daemon under a service type private to the test process.
#include "CorvaneLoader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "ClientTestSupport.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PlistFile.h"
#include "SettingsRequests.h"

namespace corvane {
namespace {

using test::FakeServer;
using test::ReplyFrame;
using test::SendAll;
using test::SecondsSince;
using test::SettingsPlist;
using Clock = std::chrono::steady_clock;

const std::string kLost = "Corvane client: connection lost.\n";
const std::string kReconnect = "CORVANE ERROR: Re-connecting to server (connection dropped)\n";

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Bytes Fields(const std::vector<std::string>& fields) {
  Bytes payload;
  for (const auto& f : fields) AppendStringField(&payload, f);
  return payload;
}

AppSettings Fetch(const std::string& user, const std::string& app = "x") {
  AppSettings s;
  FetchAppSettings(user, app, &s);
  return s;
}

// What `f` printed on standard output (`out`) or error.
template <class F>
std::string Printed(bool out, F f) {
  out ? testing::internal::CaptureStdout() : testing::internal::CaptureStderr();
  f();
  std::fflush(stdout);
  return out ? testing::internal::GetCapturedStdout() : testing::internal::GetCapturedStderr();
}

// Answers every GetCredit with a settings dictionary of the given credit.
FakeServer::Handler AnswerCredit(int credit) {
  return [credit](int fd, const std::string& request) {
    if (request[4] == kGetCredit) SendAll(fd, ReplyFrame(SettingsPlist(credit)));
    return true;
  };
}

class CorvaneLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
    type_ = test::PrivateServiceType();
    SetClientOptions({.service_type = type_});
  }
  void TearDown() override { SetClientOptions({}); }

  // Publishes the server in `domain`; the instance name.
  std::string Publish(const FakeServer& server, const std::string& domain = "") {
    std::string name = "c5test-" + std::to_string(getpid()) + "-" + std::to_string(++published_);
    publishers_.push_back(test::Publish(name, type_, server.port(), domain));
    EXPECT_NE(publishers_.back(), nullptr) << name;
    return name;
  }

  std::string type_;
  int published_ = 0;
  std::vector<std::unique_ptr<test::Child>> publishers_;
};

// One publication for the whole conversation: the server answers each
// GetCredit with the next step of its script, and after every oddity the
// client must read the next good reply as its own.
TEST_F(CorvaneLoaderTest, DiscoversThenSurvivesEachReplyOddityInTurn) {
  std::string frame = ReplyFrame(SettingsPlist(5));
  std::string half = frame.substr(0, frame.size() / 2);
  int answered = 0;
  auto server = std::make_unique<FakeServer>([&](int fd, const std::string& request) {
    if (request[4] != kGetCredit) return true;  // refills need no answer
    switch (++answered) {
      case 1:  // a second reply nobody asked for
        return SendAll(fd, ReplyFrame(SettingsPlist(1)) + ReplyFrame(SettingsPlist(99)));
      case 3:  // a zero length never completes
        return SendAll(fd, std::string(4, '\0'));
      case 4:  // an answer after the deadline
        Sleep(2600);
        break;
      case 6:
      case 7:  // half a reply, then the connection closes
        SendAll(fd, half);
        return false;
      case 8:
      case 9:
      case 10:  // a length of 16 MiB + 1
        return SendAll(fd, std::string("\x01\x00\x00\x01", 4) + "<plist>");
    }
    return SendAll(fd, ReplyFrame(SettingsPlist(answered)));
  });
  std::string name = Publish(*server);
  AppSettings s;
  auto start = Clock::now();
  std::string out = Printed(true, [&] { s = Fetch("alice", "com.apple.loginwindow"); });
  EXPECT_LT(SecondsSince(start), 1.5) << "the surplus is not waited for";
  EXPECT_NE(out.find("Found service at host: " + name + ".local\nAddress 0 is: 127.0.0.1\n"),
            std::string::npos) << out;
  EXPECT_EQ(s.credit, 1);
  EXPECT_TRUE(s.enabled && s.dq_enabled);
  EXPECT_EQ(s.dq_value, 7);
  EXPECT_EQ(s.wd_stop, 1439);  // the reply is read with the defaults

  // 4 length + 1 command + 4 reserved + (4 + 5) + (4 + 21) = 43 bytes.
  std::string expected("\x00\x00\x00\x2b\x01\x00\x00\x00\x00\x05\x00\x00\x00", 13);
  expected += "alice" + std::string("\x15\x00\x00\x00", 4) + "com.apple.loginwindow";
  EXPECT_EQ(server->requests().at(0), expected);

  // The open connection is used again without any discovery, and the
  // surplus reply is thrown away, not read as the next one.
  out = Printed(true, [&] {
    EXPECT_EQ(RequestRefill("alice", "org.gnome.Calculator"), 0);
    s = Fetch("alice", "org.gnome.Calculator");
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(s.credit, 2);
  EXPECT_EQ(server->connections(), 1);
  auto requests = server->requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1][4], kAutoUpdateCredit);
  Bytes payload = Fields({"alice", "org.gnome.Calculator"});
  EXPECT_EQ(requests[1].substr(9), std::string(payload.begin(), payload.end()));

  // A reply that does not complete in time gives what arrived, and costs its
  // connection: a late answer is never read as the answer to the next request.
  for (int round = 3; round <= 4; ++round) {
    start = Clock::now();
    std::optional<Bytes> reply;
    EXPECT_EQ(SendCommand(kGetCredit, Fields({"bob", "x"}), 2, true, &reply), 0);
    EXPECT_GE(SecondsSince(start), 1.9) << round;
    EXPECT_LT(SecondsSince(start), 2.6) << round;
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
  }
  EXPECT_EQ(Fetch("bob").credit, 5);  // not the late 4
  EXPECT_EQ(server->connections(), 3);

  // Half a reply, then the close: what arrived is the reply, and a partial
  // reply is still a reply: no second try, and it reads as defaults.
  std::optional<Bytes> reply;
  EXPECT_EQ(Printed(false, [&] {
              EXPECT_EQ(SendCommand(kGetCredit, Fields({"dave", "x"}), 2, true, &reply), 0);
            }),
            kLost);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(std::string(reply->begin(), reply->end()), frame.substr(4, frame.size() / 2 - 4));
  EXPECT_EQ(Printed(false, [&] { s = Fetch("dave"); }), kLost);
  EXPECT_FALSE(s.enabled);
  EXPECT_EQ(s.wd_stop, 1439);
  EXPECT_EQ(server->connections(), 4);

  // An oversized length is no reply, and each refused reply costs its
  // connection.
  reply.reset();
  EXPECT_EQ(SendCommand(kGetCredit, Fields({"erin", "x"}), 2, true, &reply), kClientNotWritten);
  EXPECT_FALSE(reply.has_value());
  EXPECT_EQ(Printed(false, [&] { s = Fetch("erin"); }), kReconnect);
  EXPECT_EQ(s.credit, 0);
  EXPECT_EQ(server->connections(), 7);

  // A request half written because it did not fit costs its connection; the
  // next request goes out on a clean one.
  EXPECT_EQ(Fetch("frank").credit, 11);
  Bytes huge(64u << 20, 'z');
  EXPECT_EQ(SendCommand(kMinuteUsed, huge, 3, false, nullptr), kClientNotWritten);
  EXPECT_EQ(Fetch("frank").credit, 12);
  EXPECT_EQ(server->connections(), 9);

  // A lost connection is reported.
  server.reset();  // closes its end of the connection
  Sleep(100);
  EXPECT_EQ(Printed(false, [] {
              EXPECT_EQ(SendCommand(kAutoUpdateCredit, Fields({"frank", "x"}), 3, false, nullptr),
                        kClientNotWritten);
            }),
            kLost);
}

// The server missing, then published, withdrawn and published again: no
// server gives defaults after two discoveries, the remembered service is
// resolved again after a reconnect, and kill requests go over the local
// connection alone, without waiting for a missing server and not to the
// server once there is one.
TEST_F(CorvaneLoaderTest, ServerMissingFoundWithdrawnAndFoundAgain) {
  auto local = std::make_unique<FakeServer>(AnswerCredit(1));
  SetClientOptions({.service_type = type_, .local_server_port = local->port()});
  auto start = Clock::now();
  AppSettings s;
  EXPECT_EQ(Printed(false, [&] { s = Fetch("ivan"); }), kReconnect);
  EXPECT_GE(SecondsSince(start), 5.9);  // two discoveries
  EXPECT_LT(SecondsSince(start), 7.5);
  AppSettings defaults;
  Plist empty = Plist::Dictionary();
  ReadAppSettings(&empty, &defaults);
  EXPECT_EQ(s, defaults);

  auto kill = [] {
    return SendCommand(kDisconnectionRequest, Fields({"4242"}), 10, false, nullptr);
  };
  start = Clock::now();
  EXPECT_EQ(kill(), kClientOK);
  EXPECT_LT(SecondsSince(start), 1.0);
  FakeServer server(AnswerCredit(2));
  std::string name = Publish(server);
  EXPECT_EQ(Fetch("ivan").credit, 2);
  EXPECT_EQ(kill(), kClientOK);
  Sleep(200);
  std::string expected("\x00\x00\x00\x11\x07\x00\x00\x00\x00\x04\x00\x00\x00" "4242", 17);
  EXPECT_EQ(local->requests(), std::vector<std::string>(2, expected));
  EXPECT_EQ(local->connections(), 1);
  EXPECT_EQ(server.requests().size(), 1u) << "the GetCredit alone";

  ASSERT_NE(publishers_.back(), nullptr);
  publishers_.back()->Kill();  // the service is withdrawn; the server stays
  ASSERT_TRUE(test::WaitForCommand(
      "avahi-browse -pt " + type_ + " 2>/dev/null | grep -q ';" + name + ";'", false, 4));
  EXPECT_EQ(Printed(false, [] { ReportReconnect(); }), kReconnect);
  start = Clock::now();
  std::string out = Printed(true, [] { EXPECT_EQ(ConnectToServer(), kClientNoServer); });
  EXPECT_EQ(out.rfind("CFNetServiceResolve failed (err ", 0), 0u) << out;
  EXPECT_GE(SecondsSince(start), 2.9);  // the discovery window, then the resolve
  EXPECT_LT(SecondsSince(start), 8.8);
  Publish(server);  // a restarted server: found and used
  EXPECT_EQ(Fetch("ivan").credit, 2);
  EXPECT_EQ(server.connections(), 2);

  local.reset();  // the local server stops: its connection is replaced, and fails
  Sleep(100);
  EXPECT_EQ(kill(), kClientNoServer);
}

TEST_F(CorvaneLoaderTest, TwoServicesInTwoDomainsFirstReportedWins) {
  std::string domain = "c5t" + std::to_string(getpid()) + ".local";
  test::Child announcer({PUBLISH_BROWSE_DOMAIN, domain});
  ASSERT_TRUE(announcer.WaitForOutput("Established", 10));
  FakeServer in_other(AnswerCredit(20));
  std::string other_name = Publish(in_other, domain);

  // Alone, the service of the announced domain is found by domain browsing.
  AppSettings s;
  std::string out = Printed(true, [&] { s = Fetch("judy"); });
  EXPECT_NE(out.find("Found service at host: " + other_name + "." + domain + "\n"),
            std::string::npos) << out;
  EXPECT_EQ(s.credit, 20);

  // With one service in each domain, one wins and the other is left alone.
  SetClientOptions({.service_type = type_});
  FakeServer in_local(AnswerCredit(10));
  Publish(in_local);
  out = Printed(true, [&] { s = Fetch("judy"); });
  size_t found = out.find("Found service at host: ");
  ASSERT_NE(found, std::string::npos) << out;
  EXPECT_EQ(out.find("Found service at host: ", found + 1), std::string::npos) << out;
  EXPECT_EQ(in_local.connections() + in_other.connections(), 2);
  EXPECT_EQ(s.credit, in_local.connections() == 1 ? 10 : 20);
}

// Any account may publish our service type. One published by "nobody" on
// this machine, with a listener of its own, is passed over while root's real
// one is taken; root's "Server address" then pins the server: nothing is
// browsed, a dead pinned server is no server, and an explicit choice wins.
TEST_F(CorvaneLoaderTest, OnlyRootsListenerOnThisMachineOrThePinnedServerIsUsed) {
  std::string fake_name = "c5fake-" + std::to_string(getpid());
  std::string script =
      "import os, socket\n"
      "s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(); s.set_inheritable(True)\n"
      "print('port', s.getsockname()[1], flush=True)\n"
      "os.execvp('avahi-publish', ['avahi-publish', '-s', '" + fake_name + "', '" + type_ +
      "', str(s.getsockname()[1])])\n";
  // setpriv execs in place, so ending the child ends avahi-publish too.
  test::Child fake({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "/usr/bin/python3",
                    "-c", script});
  if (!fake.WaitForOutput("Established", 10)) GTEST_SKIP() << "nobody cannot publish: " << fake.output();
  std::string fake_port = fake.output().substr(fake.output().find("port ") + 5);
  fake_port = fake_port.substr(0, fake_port.find('\n'));

  std::string out = Printed(true, [] { EXPECT_EQ(ConnectToServer(), kClientNoServer); });
  EXPECT_NE(out.find("Found service at host: " + fake_name), std::string::npos) << out;
  EXPECT_NE(out.find("Ignoring service at port " + fake_port + ": it belongs to user 65534"),
            std::string::npos) << out;

  FakeServer real(AnswerCredit(10));
  Publish(real);
  EXPECT_EQ(Fetch("kate").credit, 10);
  EXPECT_EQ(real.connections(), 1);

  test::TempRoot root;
  FakeServer pinned(AnswerCredit(30));
  auto pin = [&](const std::string& address) {
    test::MakeFolders(std::filesystem::path(SystemPath(kPreferenceFile)).parent_path());
    ASSERT_TRUE(SetPlistFileKey(SystemPath(kPreferenceFile), pref::kServerAddress,
                                Plist::String(address)).ok());
    SetClientOptions({.service_type = type_});
  };
  for (const std::string& address : {"127.0.0.1:" + std::to_string(pinned.port()),
                                     "[::ffff:127.0.0.1]:" + std::to_string(pinned.port())}) {
    pin(address);
    AppSettings s;
    out = Printed(true, [&] { s = Fetch("kate"); });
    EXPECT_EQ(s.credit, 30) << address;
    EXPECT_EQ(out.find("Found service"), std::string::npos) << out;
  }
  pin("localhost:1");  // nothing listens at port 1: no server, and still no browsing
  out = Printed(true, [] { EXPECT_NE(ConnectToServer(), kClientOK); });
  EXPECT_EQ(out.find("Found service"), std::string::npos) << out;
  ASSERT_TRUE(UseServerAddress("127.0.0.1", real.port()));
  EXPECT_EQ(Fetch("kate").credit, 10);
  EXPECT_EQ(real.connections(), 2);
}

}  // namespace
}  // namespace corvane
