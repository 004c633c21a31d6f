#include "SettingsAndStats.h"

#include "Paths.h"
#include "Platform/System/Clock.h"
#include "Platform/System/FileSystem.h"
#include "Platform/System/Memory.h"
#include "Platform/System/ProcessControl.h"
#include "Platform/System/ProcessOwner.h"
#include "Platform/System/ProcessIdentity.h"
#include "Platform/System/UserAccount.h"
#include "PlistFile.h"
#include "ServerLog.h"

namespace corvane {
namespace {

struct DataFile {
  std::string_view system_path;
  const char* name;
  Plist ServerData::*tree;
  SerializedTree ServerData::*xml;
};

constexpr DataFile kFiles[] = {
    {kSettingsFile, "settings.plist", &ServerData::settings, &ServerData::settings_xml},
    {kStatsFile, "stats.plist", &ServerData::stats, &ServerData::stats_xml},
};

// Writes the file from the kept XML, serialising only what changed.
int SaveFile(ServerData& data, const DataFile& file) {
  std::vector<std::string_view> document;
  if (!(data.*file.xml).Document(data.*file.tree, &document)) return -1;
  Status s = WriteFileAtomically(SystemPath(file.system_path), document);
  if (s.ok()) return 0;
  return s.Errno() != 0 ? -s.Errno() : -1;
}

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
    auto value = ReadPlistFile(path);
    if (value && value->IsDictionary()) {
      data->*file.tree = std::move(*value);
    } else {
      LogMessage("Corvane 5 Server: unable to load %s file\n", file.name);
      data->*file.tree = Plist::Dictionary();
    }
    // The first save then costs no more than the later ones.
    std::vector<std::string_view> document;
    (data->*file.xml).Reset();
    (data->*file.xml).Document(data->*file.tree, &document);
  }
  ReleaseFreeMemory();
}

void SaveSettingsAndStats(ServerData& data) {
  for (const DataFile& file : kFiles) {
    int result = SaveFile(data, file);
    if (result != 0) LogMessage("Corvane 5 Server: could not write %s (%d)", file.name, result);
  }
  data.save_pending = false;
  // Everything changed so far is covered (a failed write is logged, and
  // memory keeps the newer data for the next save, as it always has).
  data.saves_done = ++data.saves_started;
  data.unsaved_users.clear();
}

void SaveIfPending(ServerData& data) {
  if (data.save_pending && data.save) data.save(data);
  data.save_pending = false;
}

}  // namespace corvane
