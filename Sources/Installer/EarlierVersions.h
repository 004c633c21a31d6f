// Process probes and the removal of earlier installations (versions 2 to 4
// and, for a reinstall or an uninstall, version 5).
#pragma once

#include "InstallerHost.h"

namespace corvane {

// A process name to look for and what the probe answers when none runs.
struct ProcessProbe {
  const char* name;
  int none;
};

inline constexpr ProcessProbe kAgent4Probe{"Corvane 4 Login Item", 0};
inline constexpr ProcessProbe kAgent5Probe{"Corvane 5 Login Item", 0};
inline constexpr ProcessProbe kServer4Probe{"Corvane 4 Server", 0};
inline constexpr ProcessProbe kServer5Probe{"Corvane 5 Server", 0};
inline constexpr ProcessProbe kServer3Probe{"Corvane_3_Server", 0};
inline constexpr ProcessProbe kServer2Probe{"Corvane_Server", 0};
inline constexpr ProcessProbe kAgent3Probe{"Corvane Login Item", -1};

// The process id the probe finds, or a value below 1.
int RunProbe(InstallerHost& host, const ProcessProbe& probe);

// Kills (signal 9) what the probe finds until it finds nothing, pausing
// 10 ticks after each kill when `pause` is set.
void KillAll(InstallerHost& host, const ProcessProbe& probe, bool pause);

void RemoveVersion2(InstallerHost& host);
void RemoveVersion3(InstallerHost& host);
void RemoveVersion4(InstallerHost& host);

// Stops version 5 and removes its jobs, login items, log and folders. With
// `keep_user_data` the server's data files are first kept aside
// (UserDataKeeper.h), and nothing is deleted when that fails (false).
bool RemoveVersion5(InstallerHost& host, bool keep_user_data);

}  // namespace corvane
