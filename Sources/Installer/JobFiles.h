// The texts of the two jobs that keep version 5 running: the server's
// systemd unit and the agent's XDG autostart entry. Paths in them are the
// installed programs below the root in force.
#pragma once

#include <string>
#include <string_view>

#include "Paths.h"

namespace corvane {

// The server's unit: kept running (Restart=always) as root with the
// arguments "Corvane 5 Server" and, for a remote install, "local".
std::string ServerUnitText(bool local);

// The agent's autostart entry, which starts one agent in every graphical
// session.
std::string AgentAutostartText();

// `text` as one single-quoted shell word.
std::string ShellQuote(std::string_view text);

}  // namespace corvane
