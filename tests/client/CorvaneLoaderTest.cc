// The client module against scripted servers on loopback, found through the
// real avahi-daemon under a service type private to the test process.
#include "CorvaneLoader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "ClientTestSupport.h"
#include "SettingsRequests.h"

namespace corvane {
namespace {

using test::Child;
using test::FakeServer;
using test::ReplyFrame;
using test::SendAll;
using test::SettingsPlist;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes UserApp(const std::string& user, const std::string& app) {
  Bytes payload;
  AppendStringField(&payload, user);
  AppendStringField(&payload, app);
  return payload;
}

// Answers every GetCredit with a settings dictionary of the given credit.
FakeServer::Handler AnswerCredit(int credit) {
  return [credit](int fd, const std::string& request) {
    if (request[4] == kGetCredit) SendAll(fd, ReplyFrame(SettingsPlist(credit, true)));
    return true;
  };
}

class CorvaneLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::AvahiAvailable()) GTEST_SKIP() << "avahi-daemon is not running";
    ResetClientStateForTesting();
    type_ = test::PrivateServiceType();
    SetServiceTypeForTesting(type_.c_str());
  }
  void TearDown() override { ResetClientStateForTesting(); }

  // Publishes the server in `domain`; the instance name.
  std::string Publish(const FakeServer& server, const std::string& domain = "") {
    std::string name = "c5test-" + std::to_string(getpid()) + "-" + std::to_string(++published_);
    Child* child = nullptr;
    EXPECT_TRUE(test::Publish(&child, name, type_, server.port(), domain)) << name;
    publishers_.emplace_back(child);
    return name;
  }

  std::string type_;
  int published_ = 0;
  std::vector<std::unique_ptr<Child>> publishers_;
};

TEST_F(CorvaneLoaderTest, DiscoversConnectsAndSendsFramedRequests) {
  FakeServer server(AnswerCredit(42));
  std::string name = Publish(server);

  testing::internal::CaptureStdout();
  AppSettings s;
  FetchAppSettings("alice", "com.apple.loginwindow", &s);
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Found service at host: " + name + ".local\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Address 0 is: 127.0.0.1\n"), std::string::npos) << out;
  EXPECT_EQ(s.Credit, 42);
  EXPECT_TRUE(s.Enabled);
  EXPECT_TRUE(s.DqEnabled);
  EXPECT_EQ(s.DqValue, 7);
  EXPECT_EQ(s.WdStop, 1439);  // the reply is read with the defaults
  EXPECT_EQ(s.AutoUpdateCoeff, 1);

  // 4 length + 1 command + 4 reserved + (4 + 5) + (4 + 21) = 43 bytes.
  std::string expected("\x00\x00\x00\x2b\x01\x00\x00\x00\x00\x05\x00\x00\x00", 13);
  expected += "alice";
  expected += std::string("\x15\x00\x00\x00", 4) + "com.apple.loginwindow";
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0], expected);

  // The open connection is used again without any discovery.
  testing::internal::CaptureStdout();
  EXPECT_EQ(RequestRefill("alice", "org.gnome.Calculator"), 0);
  FetchAppSettings("alice", "org.gnome.Calculator", &s);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(server.connections(), 1);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1][4], kAutoUpdateCredit);
  EXPECT_EQ(requests[1].substr(9), Text(UserApp("alice", "org.gnome.Calculator")));
}

// A reply that does not complete in time gives what arrived, and costs its
// connection: a late answer is never read as the answer to the next request.
TEST_F(CorvaneLoaderTest, UnfinishedRepliesEndAtTheDeadline) {
  int answered = 0;
  FakeServer server([&answered](int fd, const std::string&) {
    ++answered;
    if (answered == 1) SendAll(fd, std::string(4, '\0'));  // a zero length never completes
    if (answered == 2) std::this_thread::sleep_for(std::chrono::milliseconds(2600));
    if (answered >= 2) SendAll(fd, ReplyFrame(SettingsPlist(answered, true)));
    return true;
  });
  Publish(server);
  for (int round = 1; round <= 2; ++round) {
    auto start = std::chrono::steady_clock::now();
    std::optional<Bytes> reply;
    EXPECT_EQ(SendCommand(kGetCredit, UserApp("bob", "x"), 2, true, &reply), 0);
    double waited = SecondsSince(start);
    EXPECT_GE(waited, 1.9) << round;
    EXPECT_LT(waited, 2.6) << round;
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
  }
  AppSettings s;
  FetchAppSettings("bob", "x", &s);
  EXPECT_EQ(s.Credit, 3);  // not the late 2
  EXPECT_EQ(server.connections(), 3);
}

TEST_F(CorvaneLoaderTest, SurplusBytesAreThrownAwayNotReadAsTheNextReply) {
  int answered = 0;
  FakeServer server([&answered](int fd, const std::string&) {
    ++answered;
    SendAll(fd, ReplyFrame(SettingsPlist(answered, true)) +
                    (answered == 1 ? ReplyFrame(SettingsPlist(99, true)) : ""));
    return true;
  });
  Publish(server);
  auto start = std::chrono::steady_clock::now();
  AppSettings s;
  FetchAppSettings("carol", "x", &s);
  EXPECT_EQ(s.Credit, 1);
  EXPECT_LT(SecondsSince(start), 1.5);
  FetchAppSettings("carol", "x", &s);
  EXPECT_EQ(s.Credit, 2);
  EXPECT_EQ(server.connections(), 1);
}

TEST_F(CorvaneLoaderTest, HalfReplyThenCloseGivesWhatArrived) {
  std::string frame = ReplyFrame(SettingsPlist(5, true));
  FakeServer server([&frame](int fd, const std::string&) {
    SendAll(fd, frame.substr(0, frame.size() / 2));
    return false;
  });
  Publish(server);
  testing::internal::CaptureStderr();
  std::optional<Bytes> reply;
  EXPECT_EQ(SendCommand(kGetCredit, UserApp("dave", "x"), 2, true, &reply), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corvane client: connection lost.\n");
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(Text(*reply), frame.substr(4, frame.size() / 2 - 4));

  // A partial reply is still a reply: no second try, and it reads as defaults.
  AppSettings s;
  testing::internal::CaptureStderr();
  FetchAppSettings("dave", "x", &s);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corvane client: connection lost.\n");
  EXPECT_FALSE(s.Enabled);
  EXPECT_EQ(s.WdStop, 1439);
}

TEST_F(CorvaneLoaderTest, OversizedReplyLengthIsNoReply) {
  FakeServer server([](int fd, const std::string&) {
    SendAll(fd, std::string("\x01\x00\x00\x01", 4) + "<plist>");  // 16 MiB + 1
    return true;
  });
  Publish(server);
  std::optional<Bytes> reply;
  EXPECT_EQ(SendCommand(kGetCredit, UserApp("erin", "x"), 2, true, &reply), kClientNotWritten);
  EXPECT_FALSE(reply.has_value());

  testing::internal::CaptureStderr();
  AppSettings s;
  FetchAppSettings("erin", "x", &s);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "CORVANE ERROR: Re-connecting to server (connection dropped)\n");
  EXPECT_EQ(s.Credit, 0);
  EXPECT_EQ(server.connections(), 3);  // each refused reply cost its connection
}

TEST_F(CorvaneLoaderTest, ServerGoneBeforeRequestLosesConnection) {
  auto server = std::make_unique<FakeServer>(AnswerCredit(3));
  Publish(*server);
  AppSettings s;
  FetchAppSettings("frank", "x", &s);
  EXPECT_EQ(s.Credit, 3);
  server.reset();  // closes its end of the connection
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  testing::internal::CaptureStderr();
  EXPECT_EQ(SendCommand(kAutoUpdateCredit, UserApp("frank", "x"), 3, false, nullptr),
            kClientNotWritten);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corvane client: connection lost.\n");
}

TEST_F(CorvaneLoaderTest, LargeFireAndForgetRequestNotTakenInOneWrite) {
  FakeServer server(AnswerCredit(8));
  Publish(server);
  Bytes huge(64u << 20, 'z');
  EXPECT_EQ(SendCommand(kMinuteUsed, huge, 3, false, nullptr), kClientNotWritten);
  // The half-written request cost its connection; the next one is clean.
  AppSettings s;
  FetchAppSettings("gina", "x", &s);
  EXPECT_EQ(s.Credit, 8);
  EXPECT_EQ(server.connections(), 2);
}

TEST_F(CorvaneLoaderTest, RememberedServiceIsResolvedAgainAfterReconnect) {
  FakeServer server(AnswerCredit(4));
  std::string name = Publish(server);
  AppSettings s;
  FetchAppSettings("hank", "x", &s);
  ASSERT_EQ(s.Credit, 4);

  publishers_.back()->Kill();  // the service is withdrawn; the server stays
  ASSERT_TRUE(test::WaitUntilWithdrawn(type_, name));
  testing::internal::CaptureStderr();
  ReportReconnect();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "CORVANE ERROR: Re-connecting to server (connection dropped)\n");
  testing::internal::CaptureStdout();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ConnectToServer(), kClientNoServer);
  double waited = SecondsSince(start);
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("CFNetServiceResolve failed (err ", 0), 0u) << out;
  EXPECT_GE(waited, 2.9);  // the discovery window, then the resolve
  EXPECT_LT(waited, 8.8);

  // Published again (a restarted server): found and used.
  Publish(server);
  FetchAppSettings("hank", "x", &s);
  EXPECT_EQ(s.Credit, 4);
  EXPECT_EQ(server.connections(), 2);
}

TEST_F(CorvaneLoaderTest, NoServerGivesDefaultsAfterTwoDiscoveries) {
  FakeServer local(AnswerCredit(1));
  SetLocalServerPortForTesting(local.port());
  testing::internal::CaptureStderr();
  auto start = std::chrono::steady_clock::now();
  AppSettings s;
  FetchAppSettings("ivan", "x", &s);
  double waited = SecondsSince(start);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "CORVANE ERROR: Re-connecting to server (connection dropped)\n");
  EXPECT_GE(waited, 5.9);
  EXPECT_LT(waited, 7.5);
  AppSettings defaults;
  Plist empty = Plist::Dictionary();
  ReadAppSettings(&empty, &defaults);
  EXPECT_EQ(s, defaults);

  // A kill request needs the server connection too, even with a local server.
  start = std::chrono::steady_clock::now();
  Bytes pid;
  AppendStringField(&pid, "4242");
  EXPECT_EQ(SendCommand(kDisconnectionRequest, pid, 10, false, nullptr), kClientNoServer);
  EXPECT_GE(SecondsSince(start), 2.9);
  EXPECT_LT(SecondsSince(start), 4.0);
  EXPECT_EQ(local.connections(), 0);
}

TEST_F(CorvaneLoaderTest, KillRequestsUseTheLocalConnection) {
  FakeServer server(AnswerCredit(1));
  Publish(server);
  auto local = std::make_unique<FakeServer>(AnswerCredit(1));
  SetLocalServerPortForTesting(local->port());
  Bytes pid;
  AppendStringField(&pid, "4242");
  EXPECT_EQ(SendCommand(kDisconnectionRequest, pid, 10, false, nullptr), 0);
  EXPECT_EQ(SendCommand(kDisconnectionRequest, pid, 10, false, nullptr), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string expected("\x00\x00\x00\x11\x07\x00\x00\x00\x00\x04\x00\x00\x00", 13);
  expected += "4242";
  ASSERT_EQ(local->requests().size(), 2u);
  EXPECT_EQ(local->requests()[0], expected);
  EXPECT_EQ(local->connections(), 1);
  EXPECT_TRUE(server.requests().empty());

  local.reset();  // the local server stops: its connection is replaced, and fails
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(SendCommand(kDisconnectionRequest, pid, 10, false, nullptr), kClientNoServer);
}

TEST_F(CorvaneLoaderTest, TwoServicesInTwoDomainsFirstReportedWins) {
  std::string domain = "c5t" + std::to_string(getpid()) + ".local";
  Child announcer({PUBLISH_BROWSE_DOMAIN, domain});
  ASSERT_TRUE(announcer.WaitForOutput("Established", 10));
  FakeServer in_other(AnswerCredit(20));
  std::string other_name = Publish(in_other, domain);

  // Alone, the service of the announced domain is found by domain browsing.
  testing::internal::CaptureStdout();
  AppSettings s;
  FetchAppSettings("judy", "x", &s);
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Found service at host: " + other_name + "." + domain + "\n"),
            std::string::npos) << out;
  EXPECT_EQ(s.Credit, 20);

  // With one service in each domain, one wins and the other is left alone.
  ResetClientStateForTesting();
  SetServiceTypeForTesting(type_.c_str());
  FakeServer in_local(AnswerCredit(10));
  Publish(in_local);
  testing::internal::CaptureStdout();
  FetchAppSettings("judy", "x", &s);
  std::fflush(stdout);
  out = testing::internal::GetCapturedStdout();
  size_t found = out.find("Found service at host: ");
  ASSERT_NE(found, std::string::npos) << out;
  EXPECT_EQ(out.find("Found service at host: ", found + 1), std::string::npos) << out;
  EXPECT_EQ(in_local.connections() + in_other.connections(), 2);
  EXPECT_EQ(s.Credit, in_local.connections() == 1 ? 10 : 20);
}

}  // namespace
}  // namespace corvane
