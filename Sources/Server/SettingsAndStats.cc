#include "SettingsAndStats.h"

#include "Paths.h"
#include "Platform/Clock.h"
#include "Platform/FileSystem.h"
#include "Platform/Memory.h"
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
  SerializedTree ServerData::*xml;
};

constexpr DataFile kFiles[] = {
    {kSettingsFile, "settings.plist", &ServerData::settings, &ServerData::settings_xml},
    {kStatsFile, "stats.plist", &ServerData::stats, &ServerData::stats_xml},
};

int WriteDocument(const DataFile& file, std::span<const std::string_view> document) {
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
    Status why;
    auto value = ReadPlistFile(path, &why);
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
  SaveDocuments documents;
  PrepareSave(data, &documents);
  for (size_t i = 0; i < std::size(kFiles); ++i) {
    int result = documents.ok[i] ? WriteDocument(kFiles[i], documents.files[i]) : -1;
    if (result != 0) LogMessage("Corvane 5 Server: could not write %s (%d)", kFiles[i].name, result);
  }
  data.save_pending = false;
  data.saves_done = ++data.saves_started;
}

void PrepareSave(ServerData& data, SaveDocuments* documents) {
  for (size_t i = 0; i < std::size(kFiles); ++i) {
    const DataFile& file = kFiles[i];
    documents->ok[i] = (data.*file.xml).Document(data.*file.tree, &documents->files[i]);
  }
}

uint8_t WriteSave(const SaveDocuments& documents) {
  uint8_t failed = 0;
  for (size_t i = 0; i < std::size(kFiles); ++i) {
    if (!documents.ok[i] || WriteDocument(kFiles[i], documents.files[i]) != 0) failed |= 1 << i;
  }
  return failed;
}

void LogSaveFailures(int failed) {
  for (size_t i = 0; i < std::size(kFiles); ++i) {
    if (failed & (1 << i)) LogMessage("Corvane 5 Server: could not write %s (%d)", kFiles[i].name, -1);
  }
}

void SaveIfPending(ServerData& data) {
  if (data.save_pending && data.save) data.save(data);
  data.save_pending = false;
}

}  // namespace corvane
