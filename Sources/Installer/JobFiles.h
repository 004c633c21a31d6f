// The texts of the two jobs that keep version 5 running: the server's
// systemd unit and the agent's XDG autostart entry. Paths in them are the
// installed programs below the root in force.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::string_view kServerUnitName = "com.quarlant.corvane5server.service";
inline constexpr std::string_view kServerUnitFile =
    "/etc/systemd/system/com.quarlant.corvane5server.service";
inline constexpr std::string_view kAgentAutostartFile =
    "/etc/xdg/autostart/com.quarlant.corvane5login.desktop";
inline constexpr std::string_view kInstalledServer =
    "/Library/Application Support/Corvane 5/Corvane 5 Server";
inline constexpr std::string_view kInstalledAgentBundle =
    "/Library/Application Support/Corvane 5/Corvane 5 Login Item.app";
inline constexpr std::string_view kInstalledAgent =
    "/Library/Application Support/Corvane 5/Corvane 5 Login Item.app/Contents/MacOS/"
    "Corvane 5 Login Item";

// The server's unit: kept running (Restart=always) as root with the
// arguments "Corvane 5 Server" and, for a remote install, "local".
std::string ServerUnitText(bool local);

// The agent's autostart entry, which starts one agent in every graphical
// session.
std::string AgentAutostartText();

// `text` as one single-quoted shell word.
std::string ShellQuote(std::string_view text);

}  // namespace corvane
