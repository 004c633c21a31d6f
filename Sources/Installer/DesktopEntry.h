// Desktop entry files (freedesktop Desktop Entry Specification) as far as
// login items need them: the program an entry starts, and the text of the
// agent's autostart entry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The program of the "Exec" key of the "[Desktop Entry]" group: its first
// word after string and quoting escapes are undone. None without such a key,
// with an empty program or with an unterminated quote.
std::optional<std::string> DesktopEntryProgram(std::string_view text);

// An autostart entry named `name` that starts `program` without arguments.
std::string AutostartEntryText(std::string_view name, std::string_view program);

}  // namespace corvane
