#include "SettingsAndStats.h"

#include "Paths.h"
#include "Platform/System/Memory.h"
#include "Platform/System/ProcessControl.h"
#include "Platform/System/ProcessIdentity.h"
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
Status SaveFile(ServerData& data, const DataFile& file) {
  std::vector<std::string_view> document;
  if (!(data.*file.xml).Document(data.*file.tree, &document)) {
    return Status::InvalidArgument(std::string("serialising ") + file.name);
  }
  return data.env->WriteFileAtomically(SystemPath(file.system_path), document);
}

}  // namespace

ServerData MakeServerData() {
  ServerData data;
  data.own_pid = CurrentProcessID();
  data.own_uid = EffectiveUserID();
  data.admin = ReadAdminPolicy();
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
    Status s = SaveFile(data, file);
    // The log gives -errno, or -1 where no system call failed.
    if (!s.ok()) {
      LogMessage("Corvane 5 Server: could not write %s (%d)", file.name,
                 s.Errno() != 0 ? -s.Errno() : -1);
    }
  }
  data.save_pending = false;
  // Everything changed so far is covered: a failed write is logged, and
  // memory keeps the newer data for the next save, so replies are not held
  // forever behind a disk that refuses.
  data.saves_done = ++data.saves_started;
  data.unsaved_users.clear();
}

bool SaveIfPending(ServerData& data) {
  if (!data.save_pending) return false;
  SaveSettingsAndStats(data);
  return true;
}

}  // namespace corvane
