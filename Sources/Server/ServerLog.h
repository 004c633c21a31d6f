// The server's log: one line per event in "ServerLog.log" (emptied at each
// start) and a copy on the console stream. No levels, no time stamps.
#pragma once

#include <cstdio>

namespace corvane {

// Where console copies and direct console messages go; standard output
// unless "nolog" sent them to the null device. Null: no console copies.
void SetConsoleStream(FILE* stream);
FILE* ConsoleStream();

// printf-style. Writes the text, cut to 1023 bytes, and "\n" to the log file
// (opened "w+" on the first line) and to the console stream, then flushes.
// A text that ends in "\n" thus leaves an empty line.
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-style text to the console stream only, without a line end added.
void ConsoleMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Programs that link the server's logic without being the server (the fuzz
// target) keep the log file closed; lines go to the console stream only.
void DisableLogFileForTesting();

}  // namespace corvane
