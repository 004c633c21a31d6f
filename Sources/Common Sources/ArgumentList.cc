#include "ArgumentList.h"

namespace corvane {

std::vector<std::string> SplitArgumentList(std::string_view bytes) {
  std::vector<std::string> arguments;
  size_t pos = 0;
  while (pos < bytes.size() && arguments.size() < kMaxArgumentsKept) {
    size_t end = bytes.find('\0', pos);
    if (end == std::string_view::npos) end = bytes.size();
    arguments.emplace_back(bytes.substr(pos, end - pos));
    pos = end + 1;
  }
  return arguments;
}

std::vector<std::string> SplitShebangLine(std::string_view head) {
  if (head.substr(0, 2) != "#!") return {};
  size_t newline = head.find('\n');
  std::string_view line =
      head.substr(2, newline == std::string_view::npos ? std::string_view::npos : newline - 2);
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos < line.size()) {
    size_t start = line.find_first_not_of(" \t\r", pos);
    if (start == std::string_view::npos) break;
    size_t end = line.find_first_of(" \t\r", start);
    if (end == std::string_view::npos) end = line.size();
    words.emplace_back(line.substr(start, end - start));
    pos = end;
  }
  return words;
}

}  // namespace corvane
