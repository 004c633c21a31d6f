// Server benchmarks, each against a reference measured in the same run:
//  1. GetCredit requests per second over loopback with 1, 16 and 256
//     connections, against an echo server with the same framing that
//     answers the same reply bytes without doing any work.
//  2. MinuteUsed latency (the reply to a GetCredit sent right behind it
//     leaves only once the minute is durably saved) with the statistics of
//     100 users x 10 apps x 365 days loaded, against fsync alone.
//  3. Server RSS with that data set loaded, and after 1,000 idle
//     connections.
//
//   server_bench [seconds per throughput run, default 2]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "AppSettings.h"
#include "ServerBenchRig.h"
#include "WireCodec.h"

using namespace corvane;
using namespace corvane::bench;

namespace {

// The echo server: frames requests like the real one and answers each with
// `reply` (the real server's reply bytes), doing nothing else.
[[noreturn]] void RunEchoServer(int listener, const std::string& reply) {
  Bytes framed = BuildReply(reply);
  int ep = epoll_create1(0);
  epoll_event ev{EPOLLIN, {.fd = listener}};
  epoll_ctl(ep, EPOLL_CTL_ADD, listener, &ev);
  std::vector<Bytes> buffers(65536);
  epoll_event events[256];
  for (;;) {
    int n = epoll_wait(ep, events, 256, -1);
    for (int i = 0; i < n; ++i) {
      int fd = events[i].data.fd;
      if (fd == listener) {
        int c = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        epoll_event cev{EPOLLIN, {.fd = c}};
        epoll_ctl(ep, EPOLL_CTL_ADD, c, &cev);
        continue;
      }
      uint8_t chunk[2048];
      ssize_t got = read(fd, chunk, sizeof chunk);
      if (got <= 0) {
        close(fd);
        buffers[fd].clear();
        continue;
      }
      Bytes& buf = buffers[fd];
      buf.insert(buf.end(), chunk, chunk + got);
      size_t start = 0;
      for (;;) {
        FrameResult f = PeekRequestFrame({buf.data() + start, buf.size() - start});
        if (f.state != FrameState::kComplete) break;
        if (send(fd, framed.data(), framed.size(), MSG_NOSIGNAL) < 0) break;
        start += f.length;
      }
      buf.erase(buf.begin(), buf.begin() + static_cast<long>(start));
    }
  }
}

pid_t StartEchoServer(const std::string& reply, int* port) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(listener, SOMAXCONN);
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    RunEchoServer(listener, reply);
  }
  close(listener);
  return pid;
}

// Every connection keeps one request outstanding, as agents do; returns
// completed requests per second.
double Throughput(int port, int connections, double seconds) {
  Bytes request = GetCreditRequest();
  int ep = epoll_create1(EPOLL_CLOEXEC);
  std::vector<int> fds;
  std::vector<size_t> pending(connections);
  for (int i = 0; i < connections; ++i) {
    int fd = Connect(port);
    fds.push_back(fd);
    epoll_event ev{EPOLLIN, {.u32 = static_cast<uint32_t>(i)}};
    epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
  }
  // Replies are counted by bytes: each is 4 + body bytes, body learned first.
  std::vector<Bytes> inbox(connections);
  long completed = 0;
  auto start = Clock::now();
  auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(seconds));
  for (int fd : fds) SendAll(fd, request);
  std::vector<epoll_event> events(connections);
  uint8_t chunk[65536];
  while (Clock::now() < deadline) {
    int n = epoll_wait(ep, events.data(), connections, 100);
    for (int e = 0; e < n; ++e) {
      int i = static_cast<int>(events[e].data.u32);
      ssize_t got = recv(fds[i], chunk, sizeof chunk, 0);
      if (got <= 0) std::exit(1);
      Bytes& in = inbox[i];
      in.insert(in.end(), chunk, chunk + got);
      while (in.size() >= 4 && in.size() >= 4 + LoadBigEndian32(in.data())) {
        in.erase(in.begin(), in.begin() + 4 + LoadBigEndian32(in.data()));
        ++completed;
        SendAll(fds[i], request);
      }
    }
  }
  double elapsed = Seconds(Clock::now() - start);
  for (int fd : fds) close(fd);
  close(ep);
  return completed / elapsed;
}

struct Latency {
  double p50, p99, floor_p50, floor_p99;
};

// MinuteUsed followed in the same write by a GetCredit, whose reply leaves
// only once the minute is durably saved; each sample is followed by one of
// the floor, so both see the same machine.
Latency MinuteUsedLatency(const ServerUnderTest& server, const DataSet& set, int samples) {
  int c = Connect(server.port);
  Bytes both = BuildRequest(kMinuteUsed, PackAppSettings("user3", kComputerAppKey, {}));
  Bytes ask = GetCreditRequest();
  both.insert(both.end(), ask.begin(), ask.end());
  std::vector<double> latencies, floors;
  for (int i = 0; i < samples; ++i) {
    auto t0 = Clock::now();
    SendAll(c, both);
    ReadReply(c);
    latencies.push_back(Seconds(Clock::now() - t0) * 1e3);
    floors.push_back(PlainSaveMilliseconds(set.support, set.files));
  }
  close(c);
  return {Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(floors, 0.5),
          Percentile(floors, 0.99)};
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  constexpr int kSamples = 100;
  signal(SIGPIPE, SIG_IGN);

  DataSet lab = MakeDataSet(100, 10, 365);
  auto load_start = Clock::now();
  ServerUnderTest server = StartServer(lab.root);
  double load_seconds = Seconds(Clock::now() - load_start);
  long rss_loaded = RssKiB(server.pid);

  int probe = Connect(server.port);
  SendAll(probe, GetCreditRequest());
  std::string reply = ReadReply(probe);
  close(probe);
  int echo_port = 0;
  pid_t echo = StartEchoServer(reply, &echo_port);

  std::printf("GetCredit throughput (%zu-byte replies), requests/s:\n", reply.size());
  std::printf("  %-12s %12s %12s %8s\n", "connections", "server", "echo", "ratio");
  for (int n : {1, 16, 256}) {
    double echo_rate = Throughput(echo_port, n, seconds);
    double server_rate = Throughput(server.port, n, seconds);
    std::printf("  %-12d %12.0f %12.0f %7.0f%%\n", n, server_rate, echo_rate,
                100.0 * server_rate / echo_rate);
  }
  kill(echo, SIGKILL);
  waitpid(echo, nullptr, 0);

  Latency big = MinuteUsedLatency(server, lab, kSamples);
  long rss_saving = RssKiB(server.pid);

  std::vector<int> idle;
  for (int i = 0; i < 1000; ++i) idle.push_back(Connect(server.port));
  usleep(300000);
  long rss_idle = RssKiB(server.pid);
  for (int fd : idle) close(fd);
  kill(server.pid, SIGTERM);
  waitpid(server.pid, nullptr, 0);

  DataSet family = MakeDataSet(5, 5, 365);
  ServerUnderTest small_server = StartServer(family.root);
  Latency small = MinuteUsedLatency(small_server, family, kSamples);
  kill(small_server.pid, SIGTERM);
  waitpid(small_server.pid, nullptr, 0);

  std::printf("MinuteUsed latency against the floor (both files written whole: temporary file, "
              "fsync, rename, folder fsync), %d samples each, interleaved:\n", kSamples);
  std::printf("  %-22s %8s %8s %10s %10s %9s %9s %9s\n", "data set", "p50 ms", "p99 ms",
              "floor p50", "floor p99", "p50/fl50", "p99/fl50", "p99/fl99");
  auto row = [](const char* name, const DataSet& set, const Latency& l) {
    std::printf("  %-13s %5.1f MB %8.2f %8.2f %10.2f %10.2f %8.2fx %8.2fx %8.2fx\n", name,
                set.Bytes() / 1e6, l.p50, l.p99, l.floor_p50, l.floor_p99, l.p50 / l.floor_p50,
                l.p99 / l.floor_p50, l.p99 / l.floor_p99);
  };
  row("100x10x365", lab, big);
  row("5x5x365", family, small);
  double file_kib = lab.Bytes() / 1024.0;
  std::printf("Server RSS with 100x10x365 (files %.0f KiB): %ld KiB loaded (%.2fx the files, "
              "start-up %.2f s), %ld KiB after the saves (%.2fx), %ld KiB with 1,000 idle "
              "connections (+%.1f KiB each)\n",
              file_kib, rss_loaded, rss_loaded / file_kib, load_seconds, rss_saving,
              rss_saving / file_kib, rss_idle, (rss_idle - rss_saving) / 1000.0);

  std::filesystem::remove_all(lab.root);
  std::filesystem::remove_all(family.root);
  return 0;
}
