#include "SettingsAndStats.h"

#include "Paths.h"
#include "Platform/Clock.h"
#include "Platform/ProcessControl.h"
#include "Platform/ProcessOwner.h"
#include "Platform/ProcessIdentity.h"
#include "Platform/UserAccount.h"
#include "PlistFile.h"
#include "ServerLog.h"

namespace corvane {
namespace {

struct DataFile {
  std::string_view system_path;
  const char* name;
  Plist ServerData::*tree;
};

constexpr DataFile kFiles[] = {
    {kSettingsFile, "settings.plist", &ServerData::settings},
    {kStatsFile, "stats.plist", &ServerData::stats},
};

}  // namespace

ServerData MakeServerData() {
  ServerData data;
  data.now = CurrentAbsoluteTime;
  data.kill_process = KillProcessIf;
  data.save = SaveSettingsAndStats;
  data.own_pid = CurrentProcessID();
  data.own_uid = EffectiveUserID();
  data.admin = ReadAdminPolicy();
  data.user_in_group = UserIsInGroup;
  data.process_owners = OwnersOfProcess;
  return data;
}

void LoadSettingsAndStats(ServerData* data) {
  for (const DataFile& file : kFiles) {
    std::string path = SystemPath(file.system_path);
    Status why;
    auto value = ReadPlistFile(path, &why);
    if (value && value->IsDictionary()) {
      data->*file.tree = std::move(*value);
    } else {
      LogMessage("Corvane 5 Server: unable to load %s file\n", file.name);
      data->*file.tree = Plist::Dictionary();
    }
  }
}

void SaveSettingsAndStats(ServerData& data) {
  for (const DataFile& file : kFiles) {
    int result = WritePlistFile(data.*file.tree, SystemPath(file.system_path), true);
    if (result != 0) LogMessage("Corvane 5 Server: could not write %s (%d)", file.name, result);
  }
  data.save_pending = false;
}

void SaveIfPending(ServerData& data) {
  if (data.save_pending && data.save) data.save(data);
  data.save_pending = false;
}

}  // namespace corvane
