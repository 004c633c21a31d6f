// A school on one server: the real server program with the lab data set
// (100 users x 10 apps x 365 days), and
//  1. N simulated agents on loopback, each doing what an agent's minute does
//     for three records (GetCredit, then MinuteUsed, record after record),
//     the agents' minutes spread evenly over the minute; at the real rate
//     and at ten times it. Prints GetCredit p50/p99, replies lost (none
//     within 10 s) and the server's share of a core.
//  2. One peer sending 1,000 MinuteUsed frames a second while another peer
//     asks GetCredit, against the same queries to the idle server.
//
//   school_load_bench [agents, default 1000] [seconds per run, default 60]
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include "AppSettings.h"
#include "ServerBenchRig.h"
#include "WireCodec.h"

using namespace corvane;
using namespace corvane::bench;

namespace {

constexpr int kRecords = 3;
constexpr double kLostAfterSeconds = 10;

struct Agent {
  int fd = -1;
  std::string user;
  int record = 0;           // the record whose GetCredit is out
  bool waiting = false;
  bool gone = false;        // gave up after a lost reply
  Clock::time_point asked;  // when that GetCredit went out
  Bytes inbox;
};

struct LoadResult {
  std::vector<double> latencies_ms;
  long asked = 0, lost = 0;
  double cpu_share = 0;
};

std::string RecordApp(int record) {
  return record == 0 ? std::string(kComputerAppKey) : "org.example.app" + std::to_string(record);
}

void Ask(Agent& a) {
  SendAll(a.fd, UserAppRequest(kGetCredit, a.user, RecordApp(a.record)));
  a.asked = Clock::now();
  a.waiting = true;
}

// Runs `agents` agents for `seconds`, each doing its minute `rate` times a
// minute, the agents' start times spread evenly over one period.
LoadResult RunAgents(const ServerUnderTest& server, int agents, double rate, double seconds) {
  int ep = epoll_create1(EPOLL_CLOEXEC);
  std::vector<Agent> all(agents);
  for (int i = 0; i < agents; ++i) {
    all[i].fd = Connect(server.port);
    all[i].user = "user" + std::to_string(i % 100);
    epoll_event ev{EPOLLIN, {.u32 = static_cast<uint32_t>(i)}};
    epoll_ctl(ep, EPOLL_CTL_ADD, all[i].fd, &ev);
  }
  using Due = std::pair<Clock::time_point, int>;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> due;
  auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(60.0 / rate));
  auto start = Clock::now();
  auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  for (int i = 0; i < agents; ++i) due.push({start + period * i / agents, i});

  LoadResult result;
  double cpu_start = CpuSeconds(server.pid);
  std::vector<epoll_event> events(agents);
  uint8_t chunk[65536];
  // Until the end, then until every outstanding reply came or was lost.
  for (;;) {
    auto now = Clock::now();
    bool running = now < end;
    while (running && !due.empty() && due.top().first <= now) {
      auto [when, i] = due.top();
      due.pop();
      due.push({when + period, i});
      Agent& a = all[i];
      if (a.waiting || a.gone) continue;  // still behind with the last minute
      a.record = 0;
      Ask(a);
      ++result.asked;
    }
    bool outstanding = false;
    for (Agent& a : all) {
      if (!a.waiting) continue;
      if (Seconds(now - a.asked) > kLostAfterSeconds) {
        ++result.lost;  // gives up, as an agent's request times out
        a.waiting = false;
        a.gone = true;
        epoll_ctl(ep, EPOLL_CTL_DEL, a.fd, nullptr);
      } else {
        outstanding = true;
      }
    }
    if (!running && !outstanding) break;
    int timeout = 1;
    if (running && !due.empty()) {
      timeout = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     due.top().first - Clock::now()).count());
      timeout = std::clamp(timeout, 0, 5);
    }
    int n = epoll_wait(ep, events.data(), agents, timeout);
    for (int e = 0; e < n; ++e) {
      Agent& a = all[events[e].data.u32];
      ssize_t got = recv(a.fd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (got <= 0) {
        epoll_ctl(ep, EPOLL_CTL_DEL, a.fd, nullptr);
        a.gone = true;
        continue;
      }
      a.inbox.insert(a.inbox.end(), chunk, chunk + got);
      while (a.inbox.size() >= 4 && a.inbox.size() >= 4 + LoadBigEndian32(a.inbox.data())) {
        a.inbox.erase(a.inbox.begin(), a.inbox.begin() + 4 + LoadBigEndian32(a.inbox.data()));
        if (!a.waiting) continue;
        result.latencies_ms.push_back(Seconds(Clock::now() - a.asked) * 1e3);
        a.waiting = false;
        SendAll(a.fd, UserAppRequest(kMinuteUsed, a.user, RecordApp(a.record)));
        if (++a.record < kRecords) {
          Ask(a);
          ++result.asked;
        }
      }
    }
  }
  result.cpu_share = (CpuSeconds(server.pid) - cpu_start) / Seconds(Clock::now() - start);
  for (Agent& a : all) close(a.fd);
  close(ep);
  return result;
}

// GetCredit from one peer, `samples` of them 50 ms apart.
std::vector<double> Probe(int port, int samples) {
  int c = Connect(port);
  Bytes ask = UserAppRequest(kGetCredit, "user0", std::string(kComputerAppKey));
  std::vector<double> latencies;
  for (int i = 0; i < samples; ++i) {
    auto t0 = Clock::now();
    SendAll(c, ask);
    ReadReply(c);
    latencies.push_back(Seconds(Clock::now() - t0) * 1e3);
    usleep(50000);
  }
  close(c);
  return latencies;
}

}  // namespace

int main(int argc, char** argv) {
  int agents = argc > 1 ? std::atoi(argv[1]) : 1000;
  double seconds = argc > 2 ? std::atof(argv[2]) : 60;
  signal(SIGPIPE, SIG_IGN);
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  DataSet lab = MakeDataSet(100, 10, 365);
  std::printf("Lab data set: %.1f MB of files; %d agents, %.0f s a run, 3 records each "
              "(GetCredit, then MinuteUsed)\n", lab.Bytes() / 1e6, agents, seconds);
  std::printf("  %-10s %12s %9s %8s %8s %6s %11s %10s %10s\n", "rate", "MinuteUsed/s",
              "GetCredit", "p50 ms", "p99 ms", "lost", "server CPU", "floor p50", "floor p99");
  for (double rate : {1.0, 10.0}) {
    ServerUnderTest server = StartServer(lab.root);
    LoadResult r = RunAgents(server, agents, rate, seconds);
    StopServer(server);
    // The floor right after the run, so both see the same machine: both
    // files written whole the plainest durable way.
    std::vector<double> floors;
    for (int i = 0; i < 20; ++i) floors.push_back(PlainSaveMilliseconds(lab.support, lab.files));
    std::printf("  %-10s %12.1f %9ld %8.1f %8.1f %6ld %10.0f%% %10.1f %10.1f\n",
                rate == 1 ? "real" : "10x real", agents * kRecords * rate / 60.0, r.asked,
                Percentile(r.latencies_ms, 0.5), Percentile(r.latencies_ms, 0.99), r.lost,
                100 * r.cpu_share, Percentile(floors, 0.5), Percentile(floors, 0.99));
  }

  constexpr int kSamples = 200;
  ServerUnderTest server = StartServer(lab.root);
  std::vector<double> idle = Probe(server.port, kSamples);
  std::atomic<bool> flooding{true};
  long flooded = 0;
  std::thread flood([&] {
    // 1,000 a second: ten frames every 10 ms, for one known key.
    int c = Connect(server.port);
    Bytes ten;
    for (int i = 0; i < 10; ++i) {
      Bytes frame = UserAppRequest(kMinuteUsed, "user1", std::string(kComputerAppKey));
      ten.insert(ten.end(), frame.begin(), frame.end());
    }
    auto next = Clock::now();
    while (flooding) {
      SendAll(c, ten);
      flooded += 10;
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
    }
    close(c);
  });
  auto flood_start = Clock::now();
  std::vector<double> busy = Probe(server.port, kSamples);
  flooding = false;
  flood.join();
  double flood_rate = flooded / Seconds(Clock::now() - flood_start);
  StopServer(server);
  std::printf("GetCredit from one peer while another sends MinuteUsed (%d samples each):\n",
              kSamples);
  std::printf("  %-30s %10s %10s\n", "", "p50 ms", "p99 ms");
  std::printf("  %-30s %10.2f %10.2f\n", "idle server", Percentile(idle, 0.5),
              Percentile(idle, 0.99));
  char label[64];
  std::snprintf(label, sizeof label, "%.0f MinuteUsed/s", flood_rate);
  std::printf("  %-30s %10.2f %10.2f\n", label, Percentile(busy, 0.5), Percentile(busy, 0.99));
  std::printf("  %-30s %9.2fx %9.2fx\n", "ratio", Percentile(busy, 0.5) / Percentile(idle, 0.5),
              Percentile(busy, 0.99) / Percentile(idle, 0.99));
  std::filesystem::remove_all(lab.root);
  return 0;
}
