#include "DesktopEntry.h"

namespace corvane {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The escapes of a string value: \s \n \t \r \\.
std::string UnescapeValue(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (char c = value[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += c; break;  // left for the Exec quoting rules
    }
  }
  return out;
}

std::optional<std::string> FirstExecWord(std::string_view exec) {
  std::string word;
  size_t i = 0;
  if (!exec.empty() && exec[0] == '"') {
    for (i = 1;; ++i) {
      if (i == exec.size()) return std::nullopt;  // unterminated
      char c = exec[i];
      if (c == '"') break;
      if (c == '\\' && i + 1 < exec.size()) c = exec[++i];
      if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
      word += c;
    }
  } else {
    for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t'; ++i) {
      char c = exec[i];
      if (c == '\\' && i + 1 < exec.size()) c = exec[++i];
      if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
      word += c;
    }
  }
  if (word.empty()) return std::nullopt;
  return word;
}

}  // namespace

std::optional<std::string> DesktopEntryProgram(std::string_view text) {
  bool in_main_group = false;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      in_main_group = line == "[Desktop Entry]";
      continue;
    }
    size_t equals = line.find('=');
    if (!in_main_group || equals == std::string_view::npos) continue;
    if (Trim(line.substr(0, equals)) != "Exec") continue;
    std::string value = UnescapeValue(Trim(line.substr(equals + 1)));
    return FirstExecWord(value);
  }
  return std::nullopt;
}

std::string AutostartEntryText(std::string_view name, std::string_view program) {
  // Quoted as one Exec argument, then escaped once more as a string value.
  std::string quoted = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  std::string exec;
  for (char c : quoted) {
    if (c == '\\') {
      exec += "\\\\";
    } else if (c == '\n') {
      exec += "\\n";
    } else if (c == '\r') {
      exec += "\\r";
    } else {
      exec += c;
    }
  }
  std::string text = "[Desktop Entry]\nType=Application\nName=";
  text += name;
  text += "\nExec=" + exec + "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
  return text;
}

}  // namespace corvane
