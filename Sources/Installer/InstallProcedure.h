// Installing, upgrading and removing version 5: the programs in the support
// folder, the server's systemd unit and the agent's autostart entry, and the
// removal of versions 2 to 4 on the way.
#pragma once

#include "InstallerHost.h"

namespace corvane {

inline constexpr int kEngineBuildNumber = 570;

// Removes earlier versions, reinstalls version 5 when the installed build is
// another (keeping the server's data files), installs the programs and the
// jobs and waits a little for the server. `remote` makes the server serve
// local kill requests only, installs no statistics tool and does not wait.
// True when the installation completed.
bool InstallAndRun(InstallerHost& host);
bool InstallAndRunRemote(InstallerHost& host);

// Stops and removes everything of version 5. True, except in a layout whose
// programs the package manager installs: there these commands change
// nothing and answer false.
bool Uninstall(InstallerHost& host);

// True when "BuildNumber" in the support folder is missing or names another
// build than this engine's.
bool NeedsReinstall();
void WriteBuildNumber();

}  // namespace corvane
