#include "SystemAgent.h"

#include <chrono>
#include <thread>

#include "HomeFolderSize.h"
#include "Platform/ApplicationWindows.h"
#include "Platform/Clock.h"
#include "Platform/ProcessControl.h"

namespace corvane {

AbsoluteTime SystemAgent::Now() { return CurrentAbsoluteTime(); }

bool SystemAgent::IsProcessAlive(int32_t pid) { return SignalReachesProcess(pid); }

int SystemAgent::SendKillSignal(int32_t pid) {
  // kill() with 0 or a negative pid would hit a whole process group.
  return pid > 0 ? KillProcess(pid) : -1;
}

uint64_t SystemAgent::HomeFolderSize() { return corvane::HomeFolderSize(); }

bool SystemAgent::IsDisplayCaptured() {
  bool captured = false;
  if (windows_ != nullptr) windows_->ActiveWindowPid(&captured);
  return captured;
}

int32_t SystemAgent::FrontmostPid() {
  bool captured = false;
  return windows_ != nullptr ? windows_->ActiveWindowPid(&captured) : 0;
}

int32_t SystemAgent::OwnPid() { return CurrentProcessID(); }

void SystemAgent::Sleep(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace corvane
