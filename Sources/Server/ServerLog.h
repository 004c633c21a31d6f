// The server's log: one line per event in "ServerLog.log" (emptied at each
// start) and a copy on the console stream. No levels, no time stamps.
#pragma once

#include <cstdio>

namespace corvane {

class ServerEnv;

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

// The environment whose log file the lines go to, ServerEnv::Default()
// unless set; programs that link the server's logic without being the
// server (the fuzz target) set one without a log file.
void SetLogEnv(ServerEnv* env);

}  // namespace corvane
