#include "ServerEnv.h"

#include "Paths.h"
#include "Platform/System/Clock.h"
#include "Platform/System/FileSystem.h"
#include "Platform/System/ProcessControl.h"
#include "Platform/System/UserAccount.h"

namespace corvane {
namespace {

class MachineEnv : public ServerEnv {
 public:
  AbsoluteTime Now() override { return CurrentAbsoluteTime(); }
  Status KillProcessIf(int pid, const std::function<bool()>& allowed) override {
    return corvane::KillProcessIf(pid, allowed);
  }
  bool UserInGroup(uint32_t uid, const std::string& group) override {
    return UserIsInGroup(uid, group);
  }
  ProcessOwners OwnersOfProcess(int pid) override { return corvane::OwnersOfProcess(pid); }
  Status WriteFileAtomically(const std::string& path,
                             std::span<const std::string_view> pieces) override {
    return corvane::WriteFileAtomically(path, pieces);
  }
  FILE* OpenLogFile() override { return std::fopen(SystemPath(kServerLogFile).c_str(), "w+e"); }
};

}  // namespace

ServerEnv* ServerEnv::Default() {
  static MachineEnv* machine = new MachineEnv;
  return machine;
}

}  // namespace corvane
