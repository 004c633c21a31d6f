// Work done in a forked copy of this process, as Redis saves in the
// background: the copy sees memory as it was at the fork, whatever the
// process changes afterwards, and the process's one thread goes on serving.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace corvane {

struct ForkedTask {
  int pid = -1;
  int result_fd = -1;  // readable once the task has finished
};

// Runs `body` in a forked copy, which writes its result byte to result_fd
// and exits; the copy is killed if this process dies first. None when the
// fork fails (the caller then does the work itself).
std::optional<ForkedTask> StartForkedTask(const std::function<uint8_t()>& body);

// Collects the task once result_fd is readable (or blocks until it is):
// its result byte, or -1 when it ended without one. Closes result_fd and
// reaps the process.
int FinishForkedTask(const ForkedTask& task);

}  // namespace corvane
