// Shell command lines run through /bin/sh, and the process probe built on
// them.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

struct PipeCloser {
  void operator()(FILE* f) const;  // pclose
};
using CommandPipe = std::unique_ptr<FILE, PipeCloser>;

// Starts the command with its standard output readable from the returned
// stream; none when the command is empty or could not be started.
CommandPipe OpenCommandPipe(std::string_view command);

// Runs the command and returns its status word as system() gives it; 0 when
// the command is empty and nothing was run.
int RunShellCommand(std::string_view command);

// The process id of the first line of "ps auxww" that contains `name`
// (lines containing "grep" excluded), or `not_found` (-1 for the shared code;
// the install tool passes 0). Reads at most 4,096 bytes of output.
int FindProcessID(std::string_view name, int not_found = -1);

}  // namespace corvane
