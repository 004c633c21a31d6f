#include "InstallProcedure.h"

#include <string>

#include "EarlierVersions.h"
#include "EngineLog.h"
#include "JobFiles.h"
#include "Paths.h"
#include "Platform/System/FileSystem.h"
#include "Preferences.h"
#include "ReleaseFolder.h"
#include "TreeCopy.h"
#include "UserDataKeeper.h"

namespace corvane {
namespace {

constexpr int kServerProbes = 30;
constexpr int kProbePauseTicks = 10;
constexpr int kSettleTicks = 120;

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool WriteJobFile(std::string_view system_path, const std::string& text) {
  std::string path = SystemPath(system_path);
  return CreateFolders(FolderOf(path)).ok() && WriteFileAtomically(path, text).ok();
}

// A copy that finds the name taken keeps the installed item: the same build
// is installed already.
bool CopyResource(InstallerHost& host, const std::string& resource, int* error) {
  *error = host.CopyObject(resource, SystemPath(kSupportFolder));
  return *error == 0 || *error == kNameExistsError;
}

bool CreateSupportFolder() { return CreateFolders(SystemPath(kSupportFolder)).ok(); }

bool InstallLoginItem(InstallerHost& host) {
  auto agent = FindReleaseResource("Corvane 5 Login Item", "app");
  int error = 0;
  if (!agent || !CopyResource(host, *agent, &error)) return false;
  return WriteJobFile(kAgentAutostartFile, AgentAutostartText());
}

bool InstallServer(InstallerHost& host, bool local) {
  auto server = FindReleaseResource("Corvane 5 Server", "");
  int error = 0;
  if (!server || !CopyResource(host, *server, &error)) return false;
  if (!WriteJobFile(kServerUnitFile, ServerUnitText(local))) return false;
  std::string program = ShellQuote(SystemPath(kInstalledServer));
  host.RunCommand("chown root " + program);
  // The service manager starts it as root; a set-user-id bit would let any
  // account start it as root too. An earlier install loses the bit here.
  host.RunCommand("chmod u-s " + program);
  host.RunCommand("systemctl daemon-reload");
  // A unit below a private root lies outside systemd's search path; naming
  // its file lets systemd link it in.
  std::string unit = RootPrefix().empty() ? std::string(kServerUnitName) : SystemPath(kServerUnitFile);
  host.RunCommand("systemctl enable --now " + ShellQuote(unit));
  return true;
}

// The copy's error code, or -1 when the release has no statistics tool.
int InstallCommandLineTool(InstallerHost& host) {
  auto tool = FindReleaseResource("c5engine", "");
  if (!tool) return -1;
  int error = 0;
  return CopyResource(host, *tool, &error) ? 0 : error;
}

// The server comes up from its unit; this only gives it a moment.
void WaitForServer(InstallerHost& host) {
  if (RunProbe(host, kServer5Probe) >= 1) return;
  EngineLog("Corvane 5 server not running. Trying to launch it...");
  for (int i = 0; i < kServerProbes; ++i) {
    if (RunProbe(host, kServer5Probe) >= 1) break;
    host.Delay(kProbePauseTicks);
  }
  host.Delay(kSettleTicks);
}

// Where the package manager owns the programs, installing or removing them
// here would fight it (and remove the data it keeps on an upgrade).
bool PackageManagerOwnsPrograms() {
  if (kInstallToolInstalls) return false;
  EngineLog("Installation engine : the package manager installs and removes Corvane 5 here.");
  return true;
}

bool Install(InstallerHost& host, bool remote) {
  if (PackageManagerOwnsPrograms()) return false;
  EngineLog("Installation engine : uninstalling Corvane 2 & 3.");
  RemoveVersion2(host);
  RemoveVersion3(host);
  RemoveVersion4(host);
  if (NeedsReinstall() && !RemoveVersion5(host, /*keep_user_data=*/true)) return false;
  if (!CreateSupportFolder()) return false;
  // The data go back before any program is copied or started: a server
  // started without them would write its empty state over them. This also
  // gives back what a run that died after the removal had kept.
  RestoreUserData();
  if (!InstallLoginItem(host)) {
    EngineLog("Failed to copy the login item because of error .");
    return false;
  }
  EngineLog("Created the login item successfullly");
  if (!InstallServer(host, remote)) {
    EngineLog("Failed to copy the server because of error %i.", -1);
    return false;
  }
  if (!remote) {
    int error = InstallCommandLineTool(host);
    if (error != 0) {
      EngineLog("Failed to copy the command line tool because of error %i.", error);
      return false;
    }
    EngineLog("Created the command line tool successfullly");
    WaitForServer(host);
  }
  WriteBuildNumber();
  EngineLog("Installation done !");
  return true;
}

}  // namespace

bool InstallAndRun(InstallerHost& host) { return Install(host, false); }

bool InstallAndRunRemote(InstallerHost& host) { return Install(host, true); }

bool Uninstall(InstallerHost& host) {
  if (PackageManagerOwnsPrograms()) return false;
  RemoveVersion5(host, /*keep_user_data=*/false);
  return true;
}

bool NeedsReinstall() {
  std::string text;
  Status s = ReadWholeFile(SystemPath(kBuildNumberFile), 4096, &text);
  if (!s.ok()) return true;
  return StringIntValue(text.substr(0, 32)) != kEngineBuildNumber;
}

void WriteBuildNumber() {
  WriteFileAtomically(SystemPath(kBuildNumberFile), std::to_string(kEngineBuildNumber) + "\r");
}

}  // namespace corvane
