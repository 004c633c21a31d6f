// Desktop entry files are written by whoever installs software, or by the
// user in their own data folder.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "DesktopEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::DesktopEntry entry;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  corvane::ParseDesktopEntry(text, "de_CH.UTF-8", &entry);
  return 0;
}
