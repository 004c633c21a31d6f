// The engine's log, "InstallationEngine.log" in the support folder: one
// message per line, started afresh by the first message of a run and by the
// first message after CloseEngineLog.
#pragma once

namespace corvane {

// Formats like printf and appends the text (at most 1,023 bytes of it) and a
// line feed. When the file cannot be opened (its folder does not exist yet)
// the message is lost and the next one tries again.
void EngineLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Closes the log; the next message truncates and reopens it.
void CloseEngineLog();

}  // namespace corvane
