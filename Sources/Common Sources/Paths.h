// Every absolute path the system names, in one place, for the layout the
// build selects (CORVANE_LAYOUT in CMake):
//
//   classic  everything in one support folder and "/Library/Preferences";
//            the default for source builds, the tests and the install
//            tool's own install route.
//   debian   the layout of the Debian package: data in /var/lib, logs in
//            /var/log, preferences in /etc, programs in /usr.
//
// Every path lives below one root prefix, taken from CORVANE_ROOT (default
// "/"), in both layouts, so tests and the demo can run the whole system in a
// private folder. No other module names an absolute path of the system.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

#if CORVANE_LAYOUT_DEBIAN

// The server's data folder, and the folders the paths below are built on
// (undefined again at the end of this header).
#define CORVANE_SUPPORT_FOLDER "/var/lib/corvane5"
#define CORVANE_PROGRAM_FOLDER "/usr/lib/corvane5"
#define CORVANE_PREFERENCE_FOLDER "/etc/corvane5"
inline constexpr std::string_view kSupportFolder = CORVANE_SUPPORT_FOLDER;
inline constexpr std::string_view kSettingsFile = CORVANE_SUPPORT_FOLDER "/settings.plist";
inline constexpr std::string_view kStatsFile = CORVANE_SUPPORT_FOLDER "/stats.plist";
inline constexpr std::string_view kServerLogFile = "/var/log/corvane5/ServerLog.log";
inline constexpr std::string_view kEngineLogFile = "/var/log/corvane5/InstallationEngine.log";
inline constexpr std::string_view kPreferenceFile =
    CORVANE_PREFERENCE_FOLDER "/com.quarlant.corvane5.plist";
inline constexpr std::string_view kHostPreferenceFile =
    CORVANE_PREFERENCE_FOLDER "/ByHost/com.quarlant.corvane5.plist";
// The programs; the package manager puts them there.
inline constexpr std::string_view kInstalledServer = CORVANE_PROGRAM_FOLDER "/Corvane 5 Server";
inline constexpr std::string_view kInstalledAgent = CORVANE_PROGRAM_FOLDER "/Corvane 5 Login Item";
inline constexpr std::string_view kServerUnitName = "corvane5-server.service";
inline constexpr std::string_view kServerUnitFile = "/lib/systemd/system/corvane5-server.service";
inline constexpr std::string_view kAgentAutostartFile = "/etc/xdg/autostart/corvane5-agent.desktop";
inline constexpr std::string_view kBuildNumberFile = CORVANE_SUPPORT_FOLDER "/BuildNumber";
inline constexpr std::string_view kKeptDataFolder = CORVANE_SUPPORT_FOLDER " Kept Data";
// The package manager installs and removes the programs, not the install tool.
inline constexpr bool kInstallToolInstalls = false;
// Catalogues are where the system keeps everyone's.
inline constexpr bool kLocaleBesideProgram = false;

#else

// The folders the paths below are built on (undefined again at the end of
// this header).
#define CORVANE_SUPPORT_FOLDER "/Library/Application Support/Corvane 5"
#define CORVANE_PREFERENCE_FOLDER "/Library/Preferences"
inline constexpr std::string_view kSupportFolder = CORVANE_SUPPORT_FOLDER;
inline constexpr std::string_view kSettingsFile = CORVANE_SUPPORT_FOLDER "/settings.plist";
inline constexpr std::string_view kStatsFile = CORVANE_SUPPORT_FOLDER "/stats.plist";
inline constexpr std::string_view kServerLogFile = CORVANE_SUPPORT_FOLDER "/ServerLog.log";
inline constexpr std::string_view kEngineLogFile = CORVANE_SUPPORT_FOLDER "/InstallationEngine.log";
inline constexpr std::string_view kPreferenceFile =
    CORVANE_PREFERENCE_FOLDER "/com.quarlant.corvane5.plist";
inline constexpr std::string_view kHostPreferenceFile =
    CORVANE_PREFERENCE_FOLDER "/ByHost/com.quarlant.corvane5.plist";
// The programs, copied there by the install tool.
inline constexpr std::string_view kInstalledServer = CORVANE_SUPPORT_FOLDER "/Corvane 5 Server";
inline constexpr std::string_view kInstalledAgent =
    CORVANE_SUPPORT_FOLDER "/Corvane 5 Login Item.app/Contents/MacOS/Corvane 5 Login Item";
inline constexpr std::string_view kServerUnitName = "com.quarlant.corvane5server.service";
inline constexpr std::string_view kServerUnitFile =
    "/etc/systemd/system/com.quarlant.corvane5server.service";
inline constexpr std::string_view kAgentAutostartFile =
    "/etc/xdg/autostart/com.quarlant.corvane5login.desktop";
inline constexpr std::string_view kBuildNumberFile = CORVANE_SUPPORT_FOLDER "/BuildNumber";
inline constexpr std::string_view kKeptDataFolder = CORVANE_SUPPORT_FOLDER " Kept Data";
inline constexpr bool kInstallToolInstalls = true;
// A program carries its catalogues at ../share/locale (the agent's folder
// tree, the build folder, a release folder).
inline constexpr bool kLocaleBesideProgram = true;

#endif

// Locations the same in both layouts.
inline constexpr std::string_view kAllUsersAutostartFolder = "/etc/xdg/autostart";
inline constexpr std::string_view kSystemLocaleFolder = "/usr/share/locale";
// The XDG data dirs when the environment names none (the XDG default).
inline constexpr std::string_view kDefaultXdgDataDirs = "/usr/local/share:/usr/share";

// What the kernel and logind publish about processes and login sessions.
// These are the machine's own, never below the root prefix: a private root
// cannot stand in for the processes that really run.
inline constexpr std::string_view kProcFolder = "/proc";
inline constexpr std::string_view kLogindSessionsFolder = "/run/systemd/sessions";
inline constexpr std::string_view kCgroupFolder = "/sys/fs/cgroup";

// Places of this machine's own programs, used as they are (never below the
// root prefix, which the session's user can set for the agent): helpers the
// desktop runs for itself.
inline constexpr std::string_view kSystemHelperFolder = "/usr/libexec";
// Where programs are looked up when PATH is not set.
inline constexpr std::string_view kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

// Earlier versions' locations, which the install tool removes.
inline constexpr std::string_view kVersion2Folder = "/Library/Application Support/Corvane2";
inline constexpr std::string_view kVersion2StartupItem = "/Library/StartupItems/Corvane_Server";
inline constexpr std::string_view kVersion3Folder = "/Library/Application Support/Corvane";
inline constexpr std::string_view kVersion3StartupItem = "/Library/StartupItems/Corvane_3_Server";
#define CORVANE_VERSION4_FOLDER "/Library/Application Support/Corvane 4"
inline constexpr std::string_view kVersion4Folder = CORVANE_VERSION4_FOLDER "/";
inline constexpr std::string_view kVersion4EngineLog =
    CORVANE_VERSION4_FOLDER "/InstallationEngine.log";
inline constexpr std::string_view kVersion4StartupItem = "/Library/StartupItems/Corvane 4 Server/";
inline constexpr std::string_view kVersion4ServerUnit =
    "/etc/systemd/system/Corvane4ServerDaemon.service";
inline constexpr std::string_view kVersion4AgentAutostart =
    "/etc/xdg/autostart/Corvane4LoginItem.desktop";
inline constexpr std::string_view kVersion4Agent =
    CORVANE_VERSION4_FOLDER "/Corvane 4 Login Item.app/Contents/MacOS/Corvane 4 Login Item";
inline constexpr std::string_view kVersion5StartupItem = "/Library/StartupItems/Corvane 5 Server/";

#undef CORVANE_SUPPORT_FOLDER
#undef CORVANE_PROGRAM_FOLDER
#undef CORVANE_PREFERENCE_FOLDER
#undef CORVANE_VERSION4_FOLDER

// The root prefix in force, without a trailing slash ("" for "/").
// A process whose real and effective user or group ids differ (a program
// installed set-user-id root) ignores CORVANE_ROOT: otherwise any user could
// make it write as root wherever they like.
const std::string& RootPrefix();

// `system_path` must be absolute; returns it below the root prefix.
std::string SystemPath(std::string_view system_path);

// The folder of the message catalogues for a program in `program_folder`
// ("" when unknown). Not below the root prefix: the catalogues belong to the
// programs, not to the installation they work on.
std::string LocaleFolder(const std::string& program_folder);

// Forgets the cached root so the next call reads CORVANE_ROOT again (tests).
void ResetRootPrefixForTesting();

}  // namespace corvane
