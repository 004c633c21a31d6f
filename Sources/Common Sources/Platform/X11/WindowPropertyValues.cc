#include "Platform/X11/WindowPropertyValues.h"

#include <cstring>
#include <limits>

namespace corvane {

std::vector<uint32_t> PropertyItems32(uint8_t format, std::string_view bytes) {
  std::vector<uint32_t> items;
  if (format != 32) return items;
  items.resize(bytes.size() / sizeof(uint32_t));
  // The value need not be aligned for uint32_t.
  if (!items.empty()) std::memcpy(items.data(), bytes.data(), items.size() * sizeof(uint32_t));
  return items;
}

uint32_t FirstPropertyItem32(uint8_t format, std::string_view bytes) {
  if (format != 32 || bytes.size() < sizeof(uint32_t)) return 0;
  uint32_t value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

std::string PropertyText(uint8_t format, std::string_view bytes) {
  if (format != 8) return {};
  return std::string(bytes.substr(0, bytes.find('\0')));
}

void SplitWmClass(uint8_t format, std::string_view bytes, std::string* instance,
                  std::string* window_class) {
  instance->clear();
  window_class->clear();
  if (format != 8) return;
  size_t end = bytes.find('\0');
  *instance = std::string(bytes.substr(0, end));
  if (end == std::string_view::npos) return;
  std::string_view rest = bytes.substr(end + 1);
  *window_class = std::string(rest.substr(0, rest.find('\0')));
}

int32_t ProcessIdFromCardinal(uint32_t value) {
  if (value == 0 || value > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return 0;
  return static_cast<int32_t>(value);
}

}  // namespace corvane
