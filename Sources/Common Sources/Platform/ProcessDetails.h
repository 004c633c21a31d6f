// What the system knows about a running process of the same user.
#pragma once

#include <string>

namespace corvane {

// The executable's path; "" when the process is gone or not readable.
std::string ExecutablePath(int pid);
// The application ID a Flatpak or Snap sandbox gives the process; "" for a
// process outside a sandbox.
std::string SandboxApplicationID(int pid);

}  // namespace corvane
