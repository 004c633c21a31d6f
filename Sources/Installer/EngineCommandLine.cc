#include "EngineCommandLine.h"

#include <cstdint>
#include <string_view>

#include "EngineLog.h"
#include "InstallProcedure.h"
#include "Paths.h"
#include "Platform/System/FileSystem.h"
#include "PlistFile.h"
#include "PreferenceKeys.h"
#include "Preferences.h"
#include "Utf8.h"

namespace corvane {
namespace {

bool StoreConfiguration(const char* number) {
  // The stored value is 16 bits wide; larger numbers keep their low bits.
  auto value = static_cast<int16_t>(static_cast<uint16_t>(StringIntValue(number)));
  SetPreference(pref::kConfiguration, Plist::Integer(value, 16));
  return SynchronizePreferences();
}

bool StoreNonWatchedAccount(const char* name) {
  if (!IsPlistText(name)) return false;
  SetPreference(pref::kNonWatchedAccount, Plist::String(name));
  return SynchronizePreferences();
}

}  // namespace

bool SetPrefKey(const char* key, const char* value) {
  EngineLog("Set Pref key %s with val %s !", key, value);
  if (!IsPlistText(key) || !IsPlistText(value)) return false;
  std::string path = SystemPath(kPreferenceFile);
  bool written = CreateFolders(path.substr(0, path.rfind('/'))).ok() &&
                 SetPlistFileKey(path, key, Plist::String(value)).ok();
  EngineLog("Set Pref key %s with val %s gave result %i  !", key, value, written ? 1 : 0);
  return written;
}

int RunEngineCommand(int argc, const char* const* argv, InstallerHost& host, std::string* result) {
  if (argc < 2) return 1;
  EngineLog("Installation engine running with last arg: %s with argc %i ", argv[1], argc);
  std::string_view command = argv[1];
  const char* first = argc > 2 ? argv[2] : nullptr;
  const char* second = argc > 3 ? argv[3] : nullptr;
  bool done = false;
  if (command == "Uninstall") {
    done = Uninstall(host);
  } else if (command == "SetPrefKey") {
    EngineLog("Hello! set pref key for '%s' and '%s'\n", first ? first : "(missing)",
              second ? second : "(missing)");
    done = first && second && SetPrefKey(first, second);
  } else if (command == "InstallAndRunRemote") {
    done = InstallAndRunRemote(host);
  } else if (command == "InstallAndRun") {
    done = InstallAndRun(host);
  } else if (command == "Corvane_config") {
    done = first && StoreConfiguration(first);
  } else if (command == "Non-watched_User") {
    done = first && StoreNonWatchedAccount(first);
  }
  *result = done ? "1" : "0";
  return 0;
}

}  // namespace corvane
