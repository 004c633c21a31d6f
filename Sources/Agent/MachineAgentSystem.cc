#include "MachineAgentSystem.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "CorvaneLoader.h"
#include "HomeFolderSizeRequest.h"
#include "Platform/Sessions/LoginSession.h"
#include "Platform/X11/ApplicationWindows.h"
#include "Platform/System/Clock.h"
#include "Platform/System/ProcessControl.h"
#include "Platform/System/ProcessIdentity.h"

namespace corvane {

AbsoluteTime MachineAgentSystem::Now() { return CurrentAbsoluteTime(); }

bool MachineAgentSystem::IsProcessAlive(int32_t pid) { return SignalReachesProcess(pid); }

bool MachineAgentSystem::IsSessionUsersProcess(int32_t pid) { return ProcessUserID(pid) == CurrentUserID(); }

bool MachineAgentSystem::SendKillSignal(int32_t pid) {
  // kill() with 0 or a negative pid would hit a whole process group.
  return pid > 0 && KillProcess(pid).ok();
}

MachineAgentSystem::MachineAgentSystem(ApplicationWindows* windows, PostToLoop post, Measure measure)
    : windows_(windows), post_(std::move(post)), measure_(std::move(measure)) {
  if (!measure_) {
    // The server on this machine is asked first: it measures as root.
    uint16_t port = LocalServerPort();
    measure_ = [port] {
      return corvane::MeasureHomeFolderSize(port, kHomeFolderSizeTimeoutSeconds);
    };
  }
}

MachineAgentSystem::~MachineAgentSystem() {
  if (worker_.joinable()) worker_.join();
}

void MachineAgentSystem::MeasureHomeFolderSize(std::function<void(uint64_t bytes)> done) {
  if (!post_) {
    done(measure_());
    return;
  }
  if (measuring_) return;
  // The last worker has posted its answer and is ending.
  if (worker_.joinable()) worker_.join();
  measuring_ = true;
  try {
    worker_ = std::thread([this, post = post_, measure = measure_, done] {
      uint64_t size = measure();
      post([this, done, size] {
        measuring_ = false;
        done(size);
      });
    });
  } catch (const std::system_error&) {
    // No thread to be had: a late check beats none.
    measuring_ = false;
    done(measure_());
  }
}

bool MachineAgentSystem::IsDisplayCaptured() {
  bool captured = false;
  if (windows_ != nullptr) windows_->ActiveWindowPid(&captured);
  return captured;
}

int32_t MachineAgentSystem::FrontmostPid() {
  bool captured = false;
  return windows_ != nullptr ? windows_->ActiveWindowPid(&captured) : 0;
}

int32_t MachineAgentSystem::OwnPid() { return CurrentProcessID(); }

void MachineAgentSystem::Sleep(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace corvane
