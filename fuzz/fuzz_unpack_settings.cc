// Unpacks a record at every offset; a record packed again must give back the
// same 43 bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "AppSettings.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  for (size_t offset = 0; offset <= size + 1; ++offset) {
    AppSettings s;
    if (!UnpackAppSettings(bytes, offset, &s)) continue;
    std::vector<uint8_t> packed;
    AppendPackedSettings(s, &packed);
    if (packed.size() != kPackedSettingsSize) std::abort();
    // Booleans are normalised to 0/1; everything else survives exactly.
    for (size_t i = 0; i < kPackedSettingsSize; ++i) {
      uint8_t in = data[offset + i];
      bool is_flag = i == 13 || i == 14 || i == 31 || i == 32 || i == 38;
      if (is_flag ? packed[i] != (in != 0) : packed[i] != in) std::abort();
    }
  }
  return 0;
}
