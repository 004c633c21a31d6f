// Where the running program lives.
#pragma once

#include <string>

namespace corvane {

// The folder of the running executable, "" when it cannot be found.
std::string ProgramFolder();

}  // namespace corvane
