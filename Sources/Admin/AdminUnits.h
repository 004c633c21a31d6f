// The units a parent types: durations ("45m", "2h", "1h30m"), sizes
// ("500MB", "2GB"), daily windows ("08:00-20:00") and server addresses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::admin {

// Minutes of "45m", "2h", "1h30m" or "0"; none when malformed, negative or
// beyond a 32-bit count.
std::optional<int32_t> ParseDuration(std::string_view text);

// Mebibytes of "500MB", "2GB" (1 GB = 1024 MB); none when malformed.
std::optional<int32_t> ParseQuota(std::string_view text);

// A refill amount in the stored form: whole hours as (hours, 60), anything
// else as (minutes, 1).
struct Refill {
  int32_t value = 0;
  int8_t coeff = 1;
};
Refill RefillOfMinutes(int32_t minutes);
// The minutes a stored refill stands for.
inline int64_t RefillMinutes(int32_t value, int8_t coeff) {
  return static_cast<int64_t>(value) * coeff;
}

// "HH:MM-HH:MM" as minutes since midnight; the end may be "24:00". None when
// malformed or when the start is not before the end.
struct Window {
  int32_t start = 0;
  int32_t stop = 0;
};
std::optional<Window> ParseWindow(std::string_view text);
// "08:00" for 480.
std::string FormatClock(int32_t minutes);

// "host", "host:port", "[v6]:port"; port 1..65535. None when malformed.
struct ServerAddress {
  std::string host;
  uint16_t port = 0;  // 0 when not given
};
std::optional<ServerAddress> ParseServerAddress(std::string_view text);

}  // namespace corvane::admin
