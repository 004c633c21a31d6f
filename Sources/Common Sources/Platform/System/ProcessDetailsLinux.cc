#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>

#include "ArgumentList.h"
#include "Platform/System/ProcessDetails.h"

namespace corvane {
namespace {

std::string ProcPath(int pid, const char* leaf) {
  return "/proc/" + std::to_string(pid) + "/" + leaf;
}

// The value of `key` in the [Application] group of a .flatpak-info file.
std::string FlatpakName(std::istream& in) {
  std::string line;
  bool in_group = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') {
      in_group = line == "[Application]";
    } else if (in_group && line.rfind("name=", 0) == 0) {
      return line.substr(5);
    }
  }
  return {};
}

// Snap confines each application in a cgroup named "snap.NAME.APP...".
std::string SnapName(std::istream& in) {
  std::string line;
  while (std::getline(in, line)) {
    size_t at = line.find("/snap.");
    if (at == std::string::npos) continue;
    size_t start = at + 6;
    size_t end = line.find('.', start);
    if (end != std::string::npos && end > start) return line.substr(start, end - start);
  }
  return {};
}

}  // namespace

std::string ExecutablePath(int pid) {
  if (pid <= 0) return {};
  char buffer[PATH_MAX];
  ssize_t n = readlink(ProcPath(pid, "exe").c_str(), buffer, sizeof buffer);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ExecutableContentPath(int pid) { return pid > 0 ? ProcPath(pid, "exe") : ""; }

std::vector<std::string> ProcessArguments(int pid) {
  if (pid <= 0) return {};
  std::ifstream in(ProcPath(pid, "cmdline"), std::ios::binary);
  std::string bytes(kMaxArgumentBytesRead, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return SplitArgumentList(bytes);
}

std::string SandboxApplicationID(int pid) {
  if (pid <= 0) return {};
  std::ifstream flatpak(ProcPath(pid, "root/.flatpak-info"));
  if (flatpak) {
    std::string name = FlatpakName(flatpak);
    if (!name.empty()) return name;
  }
  std::ifstream cgroup(ProcPath(pid, "cgroup"));
  return cgroup ? SnapName(cgroup) : std::string();
}

}  // namespace corvane
