#include <signal.h>
#include <time.h>

#include <cerrno>

#include "InstallerHost.h"
#include "ShellRunner.h"
#include "TreeCopy.h"

namespace corvane {
namespace {

class SystemHost final : public InstallerHost {
 public:
  void RunCommand(const std::string& command) override { RunShellCommand(command); }
  int FindProcess(const std::string& name, int none) override { return FindProcessID(name, none); }
  void KillProcess(int pid) override {
    if (pid > 0) ::kill(pid, SIGKILL);
  }
  void Delay(int ticks) override {
    long long ns = static_cast<long long>(ticks) * 1000000000LL / 60;
    struct timespec left = {static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
  int CopyObject(const std::string& source, const std::string& destination_folder) override {
    return corvane::CopyObject(source, destination_folder);
  }
  int DeleteObject(const std::string& path) override { return corvane::DeleteObject(path); }
};

}  // namespace

InstallerHost& SystemInstallerHost() {
  static SystemHost host;
  return host;
}

}  // namespace corvane
