// The engine's command line: one command per run, named by the first
// argument; the outcome is one character, "1" or "0", on standard output.
#pragma once

#include <string>

#include "InstallerHost.h"

namespace corvane {

// Runs the command of argv[1] and writes its result character to *result.
// Returns the exit status: 1 when there is no command (nothing is logged or
// printed then), else 0 whatever the result.
int RunEngineCommand(int argc, const char* const* argv, InstallerHost& host, std::string* result);

// Sets `key` to the string `value` in the system preference file that the
// agent reads. True when the file was written.
bool SetPrefKey(const char* key, const char* value);

}  // namespace corvane
