#include "UserDataKeeper.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "EngineLog.h"
#include "Paths.h"
#include "Platform/System/FileSystem.h"
#include "PlistFile.h"
#include "TreeCopy.h"

namespace corvane {
namespace {

constexpr std::string_view kKeptNames[] = {"settings.plist", "stats.plist"};

std::string KeptFolder() { return SystemPath(kKeptDataFolder); }

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Copies one file byte for byte; a missing source is not an error.
Status CopyFileBytes(const std::string& from, const std::string& to) {
  std::string bytes;
  Status s = ReadWholeFile(from, kMaxPlistFileBytes, &bytes);
  if (s.IsNotFound()) return Status::OK();
  if (!s.ok()) return s;
  return WriteFileAtomically(to, bytes);
}

int ErrorCode(const Status& s) { return s.Errno() != 0 ? -s.Errno() : -1; }

}  // namespace

bool SaveUserData() {
  std::string kept = KeptFolder();
  if (Exists(kept)) return true;
  std::string partial = kept + ".partial";
  if (Exists(partial)) DeleteObject(partial);  // left by a run that died while saving
  Status s = CreateFolders(partial);
  for (std::string_view name : kKeptNames) {
    if (!s.ok()) break;
    s = CopyFileBytes(SystemPath(kSupportFolder) + "/" + std::string(name),
                      partial + "/" + std::string(name));
  }
  if (s.ok() && std::rename(partial.c_str(), kept.c_str()) != 0) {
    s = Status::IOError("rename " + partial, errno);
  }
  if (s.ok() && SyncFolder(std::filesystem::path(kept).parent_path().string()) != 0) {
    s = Status::IOError("sync " + kept, errno);
  }
  if (!s.ok()) {
    EngineLog("Failed to keep the server's data because of error %i.", ErrorCode(s));
    return false;
  }
  return true;
}

bool RestoreUserData() {
  std::string kept = KeptFolder();
  if (!Exists(kept)) return true;
  Status s;
  for (std::string_view name : kKeptNames) {
    s = CopyFileBytes(kept + "/" + std::string(name),
                      SystemPath(kSupportFolder) + "/" + std::string(name));
    if (!s.ok()) break;
  }
  if (!s.ok()) {
    EngineLog("Failed to restore the server's data because of error %i.", ErrorCode(s));
    return false;
  }
  DeleteObject(kept);
  return true;
}

}  // namespace corvane
