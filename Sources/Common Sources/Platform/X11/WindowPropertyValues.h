// Decoding of window property values. Any client of the display may write
// any property of any window, so every value is taken as untrusted bytes:
// lengths and formats are checked, never assumed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The 32-bit items of a property value; empty unless `format` is 32. A
// trailing partial item is dropped.
std::vector<uint32_t> PropertyItems32(uint8_t format, std::string_view bytes);
// The first 32-bit item, or 0 when there is none.
uint32_t FirstPropertyItem32(uint8_t format, std::string_view bytes);
// A text property (format 8): the bytes up to the first NUL.
std::string PropertyText(uint8_t format, std::string_view bytes);
// WM_CLASS (format 8): instance and class, each ended by a NUL (the last
// one may lack it); a missing part is "".
void SplitWmClass(uint8_t format, std::string_view bytes, std::string* instance,
                  std::string* window_class);
// A process id as a property or the display server gives it; 0 for values
// that cannot be a process (0, or beyond the signed 32-bit range).
int32_t ProcessIdFromCardinal(uint32_t value);

}  // namespace corvane
