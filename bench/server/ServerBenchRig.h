// What the server benchmarks share: the lab-scale data set in a private
// root, the real server program started on it, and loopback clients.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "WireCodec.h"

namespace corvane::bench {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::duration d);

// A blocking loopback connection with TCP_NODELAY; exits on failure.
int Connect(int port);
void SendAll(int fd, const Bytes& b);
// One reply body; exits when the connection ends.
std::string ReadReply(int fd);
Bytes UserAppRequest(uint8_t command, const std::string& user, const std::string& app);
// GetCredit for user0's computer entry.
Bytes GetCreditRequest();

long RssKiB(pid_t pid);
// User plus system CPU seconds the process and its reaped children used.
double CpuSeconds(pid_t pid);
double Percentile(std::vector<double> v, double p);

struct ServerUnderTest {
  pid_t pid = -1;
  int port = 0;
};
// Starts the real program on a root that already holds its files; the port
// is read from a preference set to a free port picked here.
ServerUnderTest StartServer(const std::string& root);
void StopServer(const ServerUnderTest& server);

struct DataSet {
  std::string root, support;
  std::vector<std::string> files;  // settings.plist and stats.plist as written
  size_t Bytes() const { return files[0].size() + files[1].size(); }
};
// A private root with the statistics of users x apps x days ("user0"...,
// apps as MakeStatsTree names them) and settings for every user's computer
// entry.
DataSet MakeDataSet(int users, int apps, int days);

// The floor of a save: both files written whole the plainest way, each to a
// temporary file that is synced, renamed over the file and the folder synced.
double PlainSaveMilliseconds(const std::string& folder, const std::vector<std::string>& files);

}  // namespace corvane::bench
