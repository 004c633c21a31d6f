// Parses arbitrary bytes as an XML plist; whatever parses must write out and
// parse back to the same value.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "PlistXml.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto value = ParsePlistXml(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!value) return 0;
  std::string xml;
  if (!SerializePlistXml(*value, &xml)) std::abort();
  auto again = ParsePlistXml(xml);
  if (!again || !(*again == *value)) std::abort();
  return 0;
}
