#include "EngineLog.h"

#include <cstdarg>
#include <cstdio>

#include "Paths.h"

namespace corvane {
namespace {

std::FILE*& LogHandle() {
  static std::FILE* handle = nullptr;
  return handle;
}

}  // namespace

void EngineLog(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);

  std::FILE*& handle = LogHandle();
  if (handle == nullptr) {
    handle = std::fopen(SystemPath(kEngineLogFile).c_str(), "we");
    if (handle == nullptr) return;
  }
  std::fputs(text, handle);
  std::fputc('\n', handle);
  std::fflush(nullptr);
}

void CloseEngineLog() {
  std::FILE*& handle = LogHandle();
  if (handle != nullptr) std::fclose(handle);
  handle = nullptr;
}

}  // namespace corvane
