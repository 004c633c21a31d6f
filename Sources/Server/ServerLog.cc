#include "ServerLog.h"

#include <cstdarg>
#include <string>

#include "ServerEnv.h"

namespace corvane {
namespace {

FILE* console_stream = stdout;
FILE* log_file = nullptr;
ServerEnv* log_env = nullptr;  // none set: the default

constexpr size_t kMaxLogLineBytes = 1023;

std::string Format(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(n));
  return text;
}

// Cuts at a character boundary so the file stays valid UTF-8.
void CutToLimit(std::string* text) {
  if (text->size() <= kMaxLogLineBytes) return;
  size_t end = kMaxLogLineBytes;
  while (end > 0 && (static_cast<unsigned char>((*text)[end]) & 0xC0) == 0x80) --end;
  text->resize(end);
}

}  // namespace

void SetConsoleStream(FILE* stream) { console_stream = stream; }
FILE* ConsoleStream() { return console_stream; }

void SetLogEnv(ServerEnv* env) { log_env = env; }

void LogMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = Format(format, args);
  va_end(args);

  if (log_file == nullptr) {
    log_file = (log_env ? log_env : ServerEnv::Default())->OpenLogFile();
    if (log_file == nullptr && console_stream != nullptr) {
      std::fputs("No log file found", console_stream);
    }
  }
  CutToLimit(&text);
  text.push_back('\n');
  if (log_file != nullptr) {
    std::fwrite(text.data(), 1, text.size(), log_file);
    std::fflush(log_file);
  }
  if (console_stream != nullptr) {
    std::fwrite(text.data(), 1, text.size(), console_stream);
    std::fflush(console_stream);
  }
}

void ConsoleMessage(const char* format, ...) {
  if (console_stream == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(console_stream, format, args);
  va_end(args);
  std::fflush(console_stream);
}

}  // namespace corvane
