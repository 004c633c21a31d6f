// How a program's start is written down: a process's argument list as the
// kernel shows it (arguments ended by NUL bytes, which the process itself may
// rewrite, so any bytes may come) and a script's "#!" line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Identification looks only at the first arguments (the interpreter's
// options and the script), so a process that claims thousands costs nothing.
inline constexpr size_t kMaxArgumentsKept = 64;
inline constexpr size_t kMaxArgumentBytesRead = 64 * 1024;

// The arguments in order, at most kMaxArgumentsKept; a last argument without
// its NUL counts; empty arguments are kept (they hold a place).
std::vector<std::string> SplitArgumentList(std::string_view bytes);

// The interpreter and its arguments from the head of a script file ("#!"
// line, words split at blanks); empty when the head is no script's.
std::vector<std::string> SplitShebangLine(std::string_view head);

}  // namespace corvane
