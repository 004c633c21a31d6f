#include "ProcessText.h"

#include <charconv>

namespace corvane {
namespace {

template <typename T>
bool ParseNumber(std::string_view text, T* out) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return error == std::errc() && end == text.data() + text.size();
}

// The next blank-separated field of `text` from `*at`; empty at the end.
std::string_view NextField(std::string_view text, size_t* at) {
  while (*at < text.size() && (text[*at] == ' ' || text[*at] == '\t')) ++*at;
  size_t start = *at;
  while (*at < text.size() && text[*at] != ' ' && text[*at] != '\t' && text[*at] != '\n') ++*at;
  return text.substr(start, *at - start);
}

// Calls `line(view)` for every line of `text`.
template <typename F>
void ForEachLine(std::string_view text, F line) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    line(text.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

std::optional<ProcStatFields> ParseProcStat(std::string_view text) {
  size_t close = text.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  size_t at = close + 1;
  // state ppid pgrp session
  std::string_view state = NextField(text, &at);
  std::string_view ppid = NextField(text, &at);
  std::string_view group = NextField(text, &at);
  std::string_view session = NextField(text, &at);
  ProcStatFields fields;
  int32_t ignored = 0;
  if (state.size() != 1 || !ParseNumber(ppid, &ignored) || !ParseNumber(group, &ignored) ||
      !ParseNumber(session, &fields.posix_session)) {
    return std::nullopt;
  }
  fields.state = state[0];
  return fields;
}

std::optional<ProcStatusFields> ParseProcStatus(std::string_view text) {
  ProcStatusFields fields;
  bool have_uid = false, have_tracer = false;
  ForEachLine(text, [&](std::string_view line) {
    size_t at = 0;
    if (line.substr(0, 4) == "Uid:") {
      at = 4;
      have_uid = ParseNumber(NextField(line, &at), &fields.real_user);
    } else if (line.substr(0, 10) == "TracerPid:") {
      at = 10;
      have_tracer = ParseNumber(NextField(line, &at), &fields.tracer);
    }
  });
  if (!have_uid || !have_tracer) return std::nullopt;
  return fields;
}

std::vector<std::string> SplitEnvironment(std::string_view text) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) entries.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

std::string UnifiedCgroupPath(std::string_view text) {
  std::string path;
  ForEachLine(text, [&](std::string_view line) {
    if (line.substr(0, 3) == "0::") path = std::string(line.substr(3));
  });
  return path;
}

std::optional<uint64_t> SocketInodeOfLink(std::string_view link) {
  constexpr std::string_view kPrefix = "socket:[";
  if (link.size() <= kPrefix.size() + 1 || link.substr(0, kPrefix.size()) != kPrefix ||
      link.back() != ']') {
    return std::nullopt;
  }
  uint64_t inode = 0;
  if (!ParseNumber(link.substr(kPrefix.size(), link.size() - kPrefix.size() - 1), &inode)) {
    return std::nullopt;
  }
  return inode;
}

std::optional<std::string> StateFileValue(std::string_view text, std::string_view key) {
  std::optional<std::string> value;
  ForEachLine(text, [&](std::string_view line) {
    if (!value && line.size() > key.size() && line.substr(0, key.size()) == key &&
        line[key.size()] == '=') {
      value = std::string(line.substr(key.size() + 1));
    }
  });
  return value;
}

std::vector<int32_t> ParsePidList(std::string_view text) {
  std::vector<int32_t> pids;
  ForEachLine(text, [&](std::string_view line) {
    int32_t pid = 0;
    if (ParseNumber(line, &pid) && pid > 0) pids.push_back(pid);
  });
  return pids;
}

}  // namespace corvane
