#include "JobFiles.h"

#include "DesktopEntry.h"
#include "Paths.h"

namespace corvane {
namespace {

// One double-quoted word of a unit file: systemd expands "%" specifiers
// everywhere and "$" variables on command lines, so both are doubled.
std::string UnitWord(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '%' || c == '$') out += c;
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string ServerUnitText(bool local) {
  std::string exec = UnitWord(SystemPath(kInstalledServer)) + " " + UnitWord("Corvane 5 Server");
  if (local) exec += " " + UnitWord("local");
  std::string text =
      "[Unit]\n"
      "Description=Corvane 5 Server\n"
      "After=network.target avahi-daemon.service\n"
      "\n"
      "[Service]\n"
      "User=root\n"
      "ExecStart=" + exec + "\n"
      "Restart=always\n";
  // An installation below a private root must run the server against that
  // same root.
  if (!RootPrefix().empty()) {
    std::string assignment = "CORVANE_ROOT=" + RootPrefix();
    std::string quoted = "\"";
    for (char c : assignment) {
      if (c == '"' || c == '\\') quoted += '\\';
      if (c == '%') quoted += '%';
      quoted += c;
    }
    text += "Environment=" + quoted + "\"\n";
  }
  text +=
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n";
  return text;
}

std::string AgentAutostartText() {
  return AutostartEntryText("Corvane 5 Login Item", SystemPath(kInstalledAgent));
}

std::string ShellQuote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace corvane
