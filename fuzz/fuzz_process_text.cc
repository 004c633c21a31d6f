// The readers of /proc and logind texts take whatever a process of the
// child's put there (its name, its environment): none may crash or read
// past the text, and what they return comes from the text.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ProcessText.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto stat = ParseProcStat(text)) {
    if (text.find(stat->state) == std::string_view::npos) std::abort();
  }
  ParseProcStatus(text);
  size_t total = 0;
  for (const std::string& entry : SplitEnvironment(text)) {
    if (entry.empty() || entry.find('\0') != std::string::npos) std::abort();
    total += entry.size() + 1;
  }
  if (total > size + 1) std::abort();
  if (UnifiedCgroupPath(text).size() > size) std::abort();
  SocketInodeOfLink(text);
  if (auto value = StateFileValue(text, "LEADER")) {
    if (value->size() > size) std::abort();
  }
  for (int32_t pid : ParsePidList(text)) {
    if (pid <= 0) std::abort();
  }
  return 0;
}
