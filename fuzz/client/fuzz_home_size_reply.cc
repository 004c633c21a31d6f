// The body of a home folder size reply, as the agent reads it from whatever
// answers on the local server's port.
#include <cstddef>
#include <cstdint>
#include <span>

#include "HomeFolderSizeReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::ReadHomeFolderSizeReply(std::span<const uint8_t>(data, size));
  return 0;
}
