// The machine as the agent's logic sees it, over the platform layer.
#pragma once

#include <functional>
#include <thread>

#include "AgentInterfaces.h"

namespace corvane {

class ApplicationWindows;

// How long a measurement waits for the server on this machine before the
// agent walks the home folder itself (a server that does not know the
// request never answers).
inline constexpr double kHomeFolderSizeTimeoutSeconds = 20;

class MachineAgentSystem : public AgentSystem {
 public:
  // Runs a function on the agent's event loop; callable from any thread.
  using PostToLoop = std::function<void(std::function<void()>)>;
  // Measures the home folder, blocking; called on the worker.
  using Measure = std::function<uint64_t()>;

  // `windows` answers for the front window; null without a display (then
  // nothing is front and the display is never captured). Not owned. With
  // `post`, the home folder is measured on a worker thread and the answer
  // posted back; without it, in the caller. `measure` replaces the
  // measurement itself (benchmarks walk a tree of their own).
  explicit MachineAgentSystem(ApplicationWindows* windows = nullptr, PostToLoop post = nullptr,
                       Measure measure = nullptr);
  // Waits for a measurement under way.
  ~MachineAgentSystem() override;

  AbsoluteTime Now() override;
  bool IsProcessAlive(int32_t pid) override;
  bool IsSessionUsersProcess(int32_t pid) override;
  bool SendKillSignal(int32_t pid) override;
  // The server on this machine is asked first, as it measures as root.
  void MeasureHomeFolderSize(std::function<void(uint64_t bytes)> done) override;
  bool IsDisplayCaptured() override;
  int32_t FrontmostPid() override;
  int32_t OwnPid() override;
  void Sleep(double seconds) override;

 private:
  ApplicationWindows* windows_;
  PostToLoop post_;
  Measure measure_;
  // The worker touches nothing of the agent's: it gets the port, measures,
  // and posts the answer, which runs on the loop. measuring_ is the loop's.
  std::thread worker_;
  bool measuring_ = false;
};

}  // namespace corvane
