// Window property values as any client of the display may write them: the
// first byte picks the format, the rest is the value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Platform/X11/WindowPropertyValues.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t format = data[0];
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<uint32_t> items = PropertyItems32(format, bytes);
  if (items.size() > bytes.size() / 4) std::abort();
  if (!items.empty() && FirstPropertyItem32(format, bytes) != items[0]) std::abort();
  if (ProcessIdFromCardinal(FirstPropertyItem32(format, bytes)) < 0) std::abort();
  std::string text = PropertyText(format, bytes);
  std::string instance, window_class;
  SplitWmClass(format, bytes, &instance, &window_class);
  if (instance != text) std::abort();
  if (instance.size() + window_class.size() > bytes.size()) std::abort();
  if (instance.find('\0') != std::string::npos || window_class.find('\0') != std::string::npos) {
    std::abort();
  }
  return 0;
}
