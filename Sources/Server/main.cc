// Corvane 5 Server: owns every user's settings and minutes, serves them over
// TCP and publishes itself through DNS-SD.
//
//   Corvane 5 Server [nolog] [local]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Paths.h"
#include "Platform/System/EventLoop.h"
#include "Platform/System/FileSystem.h"
#include "Platform/System/ProcessIdentity.h"
#include "ServerDaemon.h"
#include "GuardPreferences.h"
#include "ServerLog.h"
#include "SessionGuardService.h"
#include "SettingsAndStats.h"

using namespace corvane;

namespace {

// Tests and the demo keep the server off the network. Like CORVANE_ROOT it
// is ignored by a set-user-id server.
bool LoopbackOnlyRequested() {
  const char* value = std::getenv("CORVANE_LOOPBACK_ONLY");
  return value != nullptr && std::strcmp(value, "1") == 0 && !IsPrivilegeElevated();
}

// The installed server runs as root, started by the service manager. Started
// by anyone else where it is installed (set-user-id from an old install, or
// simply run by an account that cannot write the support folder), it would
// truncate the log and serve with what it can reach: it stops before it
// touches any file. A private root the account owns (tests, the demo) is
// writable, so such a server runs there as it would as root.
bool StartedByAnotherAccount() {
  if (IsPrivilegeElevated()) return true;
  return EffectiveUserID() != 0 && ExistsButNotWritable(SystemPath(kSupportFolder));
}

}  // namespace

int main(int argc, char** argv) {
  if (StartedByAnotherAccount()) {
    std::fprintf(stderr,
                 "Corvane 5 Server: only root may run the installed server (its service "
                 "manager starts it); quitting without touching any file.\n");
    return 1;
  }
  SetConsoleStream(stdout);
  bool local_mode = false;
  if (argc >= 2) {
    for (int i = 1; i < argc; ++i) {
      if (std::strcmp(argv[i], "nolog") == 0) {
        FILE* null_device = std::fopen("/dev/null", "r+e");
        SetConsoleStream(null_device);
      } else if (std::strcmp(argv[i], "local") == 0) {
        local_mode = true;
      }
    }
  }
  if (local_mode) LogMessage("Starting server in local mode");
  LogMessage("Server running");

  ServerData data = MakeServerData();
  LoadSettingsAndStats(&data);

  auto loop = EventLoop::Create();
  if (!loop) {
    LogMessage("Server quitting: no event loop");
    return 1;
  }
  bool publication_failed, loop_failed;
  {
    ServerDaemon daemon(*loop, data, local_mode, LoopbackOnlyRequested());
    SessionGuardService guard(*loop, data, ReadGuardPolicy());
    guard.Start();
    daemon.Run();
    publication_failed = daemon.publication_failed();
    loop_failed = daemon.loop_failed();
  }
  if (loop_failed) return 1;
  if (publication_failed) {
    LogMessage("Server quitting because CFRunLoopRun() returned unexpectedly.");
  }
  return 0;
}
