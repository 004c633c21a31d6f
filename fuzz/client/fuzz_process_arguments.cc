// A process's argument list, which the process may rewrite to any bytes, and
// the "#!" line of any file an entry or a process names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ArgumentList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto arguments = corvane::SplitArgumentList(bytes);
  // The fuzz build defines NDEBUG, so the checks abort by hand.
  if (arguments.size() > corvane::kMaxArgumentsKept) std::abort();  // too many kept
  size_t total = 0;
  for (const auto& a : arguments) total += a.size();
  if (total > size) std::abort();  // more bytes out than in
  corvane::SplitShebangLine(bytes);
  return 0;
}
