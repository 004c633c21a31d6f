// The keys of the system preference domain (Preferences.h) and of the file
// the install tool's SetPrefKey writes, each named once for every program
// that reads or writes it.
#pragma once

namespace corvane::pref {

// The install tool sets both; the agent reads both, the server and the admin
// window the account.
inline constexpr char kConfiguration[] = "Configuration";
inline constexpr char kNonWatchedAccount[] = "Non-watched account";

// The port the server listens on and the local agent sends to.
inline constexpr char kUseCustomPort[] = "Use custom port";
inline constexpr char kCustomPort[] = "Custom port";
// Root's choice of the one server clients use (host or host:port); with it
// nothing is browsed.
inline constexpr char kServerAddress[] = "Server address";

// Who may change settings.
inline constexpr char kAdminAddresses[] = "Admin addresses";
inline constexpr char kAdminGroup[] = "Admin group";

// How the server starts agents in login sessions.
inline constexpr char kGuardTiming[] = "Guard timing";
inline constexpr char kGuardedUsers[] = "Guarded users";
inline constexpr char kGuardConsoleSessions[] = "Guard console sessions";
inline constexpr char kAgentProgram[] = "Agent program";
inline constexpr char kAgentEnvironmentAllowed[] = "Agent environment allowed";

// The agent's alert behaviour.
inline constexpr char kLastMinuteCredit[] = "Last Minute Credit";
inline constexpr char kAutoHideAlerts[] = "Auto Hide Alerts";
inline constexpr char kPlayAlertsSound[] = "Play Alerts Sound";
inline constexpr char kDontFadeScreen[] = "Don't fade screen";

}  // namespace corvane::pref
