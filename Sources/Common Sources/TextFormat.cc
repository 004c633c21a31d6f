#include "TextFormat.h"

#include <cstdio>

#include "Localization.h"

namespace corvane {
namespace {

// Size words are looked up once per process and kept; time words on every
// call.
const std::string& SizeWord(int unit) {
  static const char* const kKeys[] = {"B", "KB", "MB", "GB"};
  static std::string words[4];
  static bool looked_up[4] = {};
  if (!looked_up[unit]) {
    words[unit] = LocalizedString(kKeys[unit]);
    looked_up[unit] = true;
  }
  return words[unit];
}

std::string Format(const char* fmt, auto... args) {
  char buf[128];
  int n = std::snprintf(buf, sizeof buf, fmt, args...);
  if (n < 0) return "";
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

std::optional<std::string> FormatDuration(int32_t n, int mode) {
  if (mode == kDurationMinutes) {
    std::string hours;
    if (n >= 60) {
      hours = Format("%li %s%s ", static_cast<long>(n / 60), LocalizedString("hour").c_str(),
                     n >= 120 ? "s" : "");
    }
    return Format("%s%li %s%s", hours.c_str(), static_cast<long>(n % 60),
                  LocalizedString("minute").c_str(), n % 60 > 1 ? "s" : "");
  }
  if (mode == kDurationSeconds) {
    return Format("%li %s%s", static_cast<long>(n % 60), LocalizedString("second").c_str(),
                  n % 60 > 1 ? "s" : "");
  }
  return std::nullopt;
}

std::string FormatByteSize(uint64_t b) {
  if (b == 65535u || b == 4294967295u) return "--";
  if (b <= 1023) return Format("%li %s", static_cast<long>(b), SizeWord(0).c_str());
  if (b <= 1048575) return Format("%li %s", static_cast<long>(b / 1024), SizeWord(1).c_str());
  // Single precision on purpose: the figures are those of a float quotient.
  if (b <= 1073741823) {
    float q = static_cast<float>(b) / 1048576.0f;
    return Format("%.2f %s", static_cast<double>(q), SizeWord(2).c_str());
  }
  float q = static_cast<float>(b) / 1073741824.0f;
  return Format("%.2f %s", static_cast<double>(q), SizeWord(3).c_str());
}

}  // namespace corvane
