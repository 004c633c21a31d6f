// The home folder of the user this process runs as.
#pragma once

#include <string>

namespace corvane {

// From the user database, not $HOME, which whoever starts the process
// controls. "" when the user has no entry.
std::string UserHomeFolder();

}  // namespace corvane
