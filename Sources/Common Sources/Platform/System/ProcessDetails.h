// What the system knows about a running process of the same user.
#pragma once

#include <string>
#include <vector>

namespace corvane {

// The executable's path; "" when the process is gone or not readable.
std::string ExecutablePath(int pid);
// A path that opens the very file the process runs, even after that file was
// renamed, replaced or removed; "" for an invalid pid.
std::string ExecutableContentPath(int pid);
// The process's arguments as it was started (argv, possibly rewritten by the
// process itself); empty when unreadable.
std::vector<std::string> ProcessArguments(int pid);
// The application ID a Flatpak or Snap sandbox gives the process; "" for a
// process outside a sandbox.
std::string SandboxApplicationID(int pid);

}  // namespace corvane
