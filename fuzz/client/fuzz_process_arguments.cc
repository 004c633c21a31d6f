// A process's argument list, which the process may rewrite to any bytes, and
// the "#!" line of any file an entry or a process names.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ArgumentList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto arguments = corvane::SplitArgumentList(bytes);
  assert(arguments.size() <= corvane::kMaxArgumentsKept && "ArgumentList: too many kept");
  size_t total = 0;
  for (const auto& a : arguments) total += a.size();
  assert(total <= size && "ArgumentList: more bytes out than in");
  corvane::SplitShebangLine(bytes);
  return 0;
}
