#include "ServerBenchRig.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "AppSettings.h"
#include "FreePort.h"
#include "Paths.h"
#include "PlistFile.h"
#include "PlistXml.h"
#include "StatsTree.h"

namespace corvane::bench {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::perror("connect");
    std::exit(1);
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void SendAll(int fd, const Bytes& b) {
  size_t done = 0;
  while (done < b.size()) {
    ssize_t n = send(fd, b.data() + done, b.size() - done, MSG_NOSIGNAL);
    if (n <= 0) std::exit(1);
    done += static_cast<size_t>(n);
  }
}

std::string ReadReply(int fd) {
  auto read_exactly = [fd](void* out, size_t n) {
    auto* p = static_cast<uint8_t*>(out);
    while (n > 0) {
      ssize_t got = recv(fd, p, n, 0);
      if (got <= 0) std::exit(1);
      p += got;
      n -= static_cast<size_t>(got);
    }
  };
  uint8_t length[4];
  read_exactly(length, 4);
  std::string body(LoadBigEndian32(length), '\0');
  read_exactly(body.data(), body.size());
  return body;
}

Bytes UserAppRequest(uint8_t command, const std::string& user, const std::string& app) {
  Bytes payload;
  AppendStringField(&payload, user);
  AppendStringField(&payload, app);
  return BuildRequest(command, payload);
}

Bytes GetCreditRequest() { return UserAppRequest(kGetCredit, "user0", std::string(kComputerAppKey)); }

long RssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

ServerUnderTest StartServer(const std::string& root) {
  int port = test::FreeLoopbackPort();
  PlistDictionary prefs;
  prefs.Set("Use custom port", Plist::String("1"));
  prefs.Set("Custom port", Plist::String(std::to_string(port)));
  std::string prefs_file = root + std::string(kHostPreferenceFile);
  std::filesystem::create_directories(std::filesystem::path(prefs_file).parent_path());
  WritePlistFile(Plist::Dictionary(prefs), prefs_file);
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setenv("CORVANE_ROOT", root.c_str(), 1);
    setenv("CORVANE_LOOPBACK_ONLY", "1", 1);
    execl(CORVANE_BINARY_DIR "/bin/Corvane 5 Server", "Corvane 5 Server", "nolog", nullptr);
    _exit(127);
  }
  // Ready once it accepts.
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int i = 0; i < 600; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    if (ok) return {pid, port};
    usleep(50000);
  }
  std::fprintf(stderr, "server did not start\n");
  std::exit(1);
}

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t end = text.rfind(')');
  if (end == std::string::npos) return 0;
  std::istringstream fields(text.substr(end + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0, cutime = 0, cstime = 0;
  // Fields 3 to 13, then utime, stime and the same of reaped children
  // (the server's saves) (14 to 17).
  for (int i = 3; i <= 13; ++i) fields >> field;
  fields >> utime >> stime >> cutime >> cstime;
  return static_cast<double>(utime + stime + cutime + cstime) /
         static_cast<double>(sysconf(_SC_CLK_TCK));
}

void StopServer(const ServerUnderTest& server) {
  kill(server.pid, SIGTERM);
  waitpid(server.pid, nullptr, 0);
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

double PlainSaveMilliseconds(const std::string& folder, const std::vector<std::string>& files) {
  auto t0 = Clock::now();
  for (size_t i = 0; i < files.size(); ++i) {
    std::string path = folder + "/floor" + std::to_string(i) + ".plist";
    std::string temp = path + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (write(fd, files[i].data(), files[i].size()) != static_cast<ssize_t>(files[i].size())) {
      std::exit(1);
    }
    fsync(fd);
    close(fd);
    rename(temp.c_str(), path.c_str());
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    fsync(dir);
    close(dir);
  }
  return Seconds(Clock::now() - t0) * 1e3;
}

DataSet MakeDataSet(int users, int apps, int days) {
  DataSet set;
  set.root = std::filesystem::temp_directory_path() / "corvane-bench-XXXXXX";
  if (mkdtemp(set.root.data()) == nullptr) std::exit(1);
  set.support = set.root + std::string(kSupportFolder);
  std::filesystem::create_directories(set.support);
  Plist stats = bench::MakeStatsTree(users, apps, days);
  PlistDictionary settings;
  for (const auto& [user, user_apps] : stats.AsDictionary()->entries()) {
    AppSettings s;
    s.credit = 1000000;
    s.enabled = true;
    s.auto_update_coeff = 60;
    s.auto_update_value = 2;
    s.wd_stop = s.we_stop = 1439;
    StoreAppSettings(&settings, user, kComputerAppKey, s);
  }
  for (const char* name : {"settings.plist", "stats.plist"}) {
    const Plist& tree = name[1] == 'e' ? Plist::Dictionary(settings) : stats;
    std::string xml;
    SerializePlistXml(tree, &xml);
    std::ofstream(set.support + "/" + name, std::ios::binary) << xml;
    set.files.push_back(std::move(xml));
  }
  return set;
}

}  // namespace corvane::bench
