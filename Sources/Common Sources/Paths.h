// Every absolute path the system names lives below one root prefix, taken
// from CORVANE_ROOT (default "/"), so tests and the demo can run the whole
// system in a private folder. No other module builds an absolute path.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The files and folders the system names, as on a real install.
inline constexpr std::string_view kSupportFolder = "/Library/Application Support/Corvane 5";
inline constexpr std::string_view kSettingsFile =
    "/Library/Application Support/Corvane 5/settings.plist";
inline constexpr std::string_view kStatsFile = "/Library/Application Support/Corvane 5/stats.plist";
inline constexpr std::string_view kServerLogFile =
    "/Library/Application Support/Corvane 5/ServerLog.log";
inline constexpr std::string_view kEngineLogFile =
    "/Library/Application Support/Corvane 5/InstallationEngine.log";
inline constexpr std::string_view kPreferenceFile = "/Library/Preferences/com.quarlant.corvane5.plist";
inline constexpr std::string_view kHostPreferenceFile =
    "/Library/Preferences/ByHost/com.quarlant.corvane5.plist";
// The agent program as the install tool installs it.
inline constexpr std::string_view kInstalledAgentProgram =
    "/Library/Application Support/Corvane 5/Corvane 5 Login Item.app/Contents/MacOS/"
    "Corvane 5 Login Item";

// What the kernel and logind publish about processes and login sessions.
// These are the machine's own, never below the root prefix: a private root
// cannot stand in for the processes that really run.
inline constexpr std::string_view kProcFolder = "/proc";
inline constexpr std::string_view kLogindSessionsFolder = "/run/systemd/sessions";
inline constexpr std::string_view kCgroupFolder = "/sys/fs/cgroup";

// Places of this machine's own programs, used as they are (never below the
// root prefix, which the session's user can set for the agent): helpers the
// desktop runs for itself, and the programs every graphical session starts.
inline constexpr std::string_view kSystemHelperFolder = "/usr/libexec";
inline constexpr std::string_view kSystemAutostartFolder = "/etc/xdg/autostart";
// Where programs are looked up when PATH is not set.
inline constexpr std::string_view kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

// The root prefix in force, without a trailing slash ("" for "/").
// A process whose real and effective user or group ids differ (the server is
// installed set-user-id root) ignores CORVANE_ROOT: otherwise any user could
// make it write as root wherever they like.
const std::string& RootPrefix();

// `system_path` must be absolute; returns it below the root prefix.
std::string SystemPath(std::string_view system_path);

// Forgets the cached root so the next call reads CORVANE_ROOT again (tests).
void ResetRootPrefixForTesting();

}  // namespace corvane
