#include "AdminUnits.h"

#include <charconv>
#include <cstdio>

namespace corvane::admin {
namespace {

// Reads leading digits into *v; false when there are none or they overflow.
bool TakeNumber(std::string_view* s, int64_t* v) {
  size_t n = 0;
  while (n < s->size() && (*s)[n] >= '0' && (*s)[n] <= '9') ++n;
  if (n == 0 || n > 12) return false;
  std::from_chars(s->data(), s->data() + n, *v);
  s->remove_prefix(n);
  return true;
}

bool TakeSuffix(std::string_view* s, std::string_view suffix) {
  if (s->size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = (*s)[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  s->remove_prefix(suffix.size());
  return true;
}

std::optional<int32_t> ClockMinutes(std::string_view t) {
  if (t.size() != 5 || t[2] != ':') return std::nullopt;
  for (size_t i : {0, 1, 3, 4}) {
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
  }
  int h = (t[0] - '0') * 10 + (t[1] - '0');
  int m = (t[3] - '0') * 10 + (t[4] - '0');
  if (m > 59 || h > 24 || (h == 24 && m != 0)) return std::nullopt;
  return h * 60 + m;
}

}  // namespace

std::optional<int32_t> ParseDuration(std::string_view s) {
  if (s == "0") return 0;
  int64_t total = 0, v = 0;
  bool any = false;
  if (TakeNumber(&s, &v)) {
    if (TakeSuffix(&s, "h")) {
      total += v * 60;
      any = true;
      if (s.empty()) return static_cast<int32_t>(total);
      if (!TakeNumber(&s, &v)) return std::nullopt;
    }
    if (TakeSuffix(&s, "m") && s.empty()) {
      total += v;
      any = true;
    } else {
      return std::nullopt;
    }
  }
  if (!any || total > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(total);
}

std::optional<int32_t> ParseQuota(std::string_view s) {
  int64_t v = 0;
  if (!TakeNumber(&s, &v)) return std::nullopt;
  if (TakeSuffix(&s, "gb") && s.empty()) v *= 1024;
  else if (!(TakeSuffix(&s, "mb") && s.empty())) return std::nullopt;
  if (v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

Refill RefillOfMinutes(int32_t minutes) {
  if (minutes > 0 && minutes % 60 == 0) return {minutes / 60, 60};
  return {minutes, 1};
}

std::optional<Window> ParseWindow(std::string_view s) {
  size_t dash = s.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto start = ClockMinutes(s.substr(0, dash));
  auto stop = ClockMinutes(s.substr(dash + 1));
  if (!start || !stop || *start >= *stop || *start == 1440) return std::nullopt;
  return Window{*start, *stop};
}

std::string FormatClock(int32_t minutes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d", minutes / 60, minutes % 60);
  return buf;
}

std::optional<ServerAddress> ParseServerAddress(std::string_view s) {
  ServerAddress a;
  std::string_view port;
  if (!s.empty() && s.front() == '[') {
    size_t close = s.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    a.host = std::string(s.substr(1, close - 1));
    std::string_view rest = s.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      if (port.empty()) return std::nullopt;
    }
  } else {
    size_t colon = s.find(':');
    if (colon != std::string_view::npos && s.find(':', colon + 1) != std::string_view::npos) {
      a.host = std::string(s);  // a bare IPv6 address
    } else {
      a.host = std::string(s.substr(0, colon));
      if (colon != std::string_view::npos) {
        port = s.substr(colon + 1);
        if (port.empty()) return std::nullopt;
      }
    }
  }
  if (a.host.empty()) return std::nullopt;
  if (!port.empty()) {
    unsigned v = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), v);
    if (ec != std::errc() || end != port.data() + port.size() || v == 0 || v > 65535) {
      return std::nullopt;
    }
    a.port = static_cast<uint16_t>(v);
  }
  return a;
}

}  // namespace corvane::admin
