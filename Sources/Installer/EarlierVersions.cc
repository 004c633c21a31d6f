#include "EarlierVersions.h"

#include <filesystem>
#include <string>

#include "EngineLog.h"
#include "JobFiles.h"
#include "LoginItems.h"
#include "Paths.h"
#include "UserDataKeeper.h"

namespace corvane {
namespace {

// A process that survives signal 9 (a zombie whose parent does not reap
// it, one of another user's) must not keep the engine looping for ever.
constexpr int kMaxKillRounds = 64;
constexpr int kPauseTicks = 10;

bool Exists(std::string_view system_path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(SystemPath(system_path), ec));
}

// Missing paths are skipped: DeleteObject then fails and nothing happens.
void Delete(InstallerHost& host, std::string_view system_path) {
  host.DeleteObject(SystemPath(system_path));
}

// Stops and disables a unit; systemd is asked only when the unit is there.
void StopUnit(InstallerHost& host, std::string_view unit_file, std::string_view unit_name) {
  if (!Exists(unit_file)) return;
  host.RunCommand("systemctl disable --now " + ShellQuote(unit_name));
}

}  // namespace

int RunProbe(InstallerHost& host, const ProcessProbe& probe) {
  return host.FindProcess(probe.name, probe.none);
}

void KillAll(InstallerHost& host, const ProcessProbe& probe, bool pause) {
  for (int round = 0; round < kMaxKillRounds; ++round) {
    int pid = RunProbe(host, probe);
    if (pid < 1) return;
    host.KillProcess(pid);
    if (pause) host.Delay(kPauseTicks);
  }
}

void RemoveVersion2(InstallerHost& host) {
  KillAll(host, kServer2Probe, false);
  Delete(host, kVersion2Folder);
  Delete(host, kVersion2StartupItem);
}

void RemoveVersion3(InstallerHost& host) {
  KillAll(host, kServer3Probe, false);
  KillAll(host, kAgent3Probe, false);
  Delete(host, kVersion3Folder);
  Delete(host, kVersion3StartupItem);
}

void RemoveVersion4(InstallerHost& host) {
  StopUnit(host, kVersion4ServerUnit, "Corvane4ServerDaemon.service");
  RemoveLoginItemsWithPath(LoginItemScope::kAllUsers, SystemPath(kVersion4Agent));
  CloseEngineLog();
  Delete(host, kVersion4EngineLog);
  Delete(host, kVersion4ServerUnit);
  Delete(host, kVersion4AgentAutostart);
  KillAll(host, kServer4Probe, true);
  KillAll(host, kAgent4Probe, true);
  Delete(host, kVersion4Folder);
  Delete(host, kVersion4StartupItem);
}

bool RemoveVersion5(InstallerHost& host, bool keep_user_data) {
  RemoveLoginItemsWithPath(LoginItemScope::kAllUsers, SystemPath(kInstalledAgent));
  CloseEngineLog();
  Delete(host, kEngineLogFile);
  // The unit goes first: systemd would restart a killed server at once, as
  // often as the kill loop could kill it.
  bool had_unit = Exists(kServerUnitFile);
  StopUnit(host, kServerUnitFile, kServerUnitName);
  KillAll(host, kServer5Probe, true);
  KillAll(host, kAgent5Probe, true);
  // The agent's entry needs no unloading: sessions read it when they start.
  Delete(host, kAgentAutostartFile);
  Delete(host, kServerUnitFile);
  // Taken now that the server is stopped, so its last minutes are in them.
  if (keep_user_data && !SaveUserData()) return false;
  Delete(host, kSupportFolder);
  Delete(host, kVersion5StartupItem);
  if (!keep_user_data) Delete(host, kKeptDataFolder);
  if (had_unit) host.RunCommand("systemctl daemon-reload");
  return true;
}

}  // namespace corvane
