// The machine as the agent's logic sees it, over the platform layer.
#pragma once

#include "AgentInterfaces.h"

namespace corvane {

class ApplicationWindows;

class SystemAgent : public AgentSystem {
 public:
  // `windows` answers for the front window; null without a display (then
  // nothing is front and the display is never captured). Not owned.
  explicit SystemAgent(ApplicationWindows* windows = nullptr) : windows_(windows) {}

  AbsoluteTime Now() override;
  bool IsProcessAlive(int32_t pid) override;
  int SendKillSignal(int32_t pid) override;
  uint64_t HomeFolderSize() override;
  bool IsDisplayCaptured() override;
  int32_t FrontmostPid() override;
  int32_t OwnPid() override;
  void Sleep(double seconds) override;

 private:
  ApplicationWindows* windows_;
};

}  // namespace corvane
