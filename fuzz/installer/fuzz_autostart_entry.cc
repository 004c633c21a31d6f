// Reads the program of any entry text; and, taking the bytes as a program
// path, an entry written for it must give exactly that path back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "DesktopEntry.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  auto program = DesktopEntryProgram(text);
  if (program && program->empty()) std::abort();
  if (!text.empty()) {
    auto back = DesktopEntryProgram(AutostartEntryText("Fuzz", text));
    if (!back || *back != text) std::abort();
  }
  return 0;
}
