// How minutes, seconds and byte counts read in the system's messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

enum DurationMode { kDurationMinutes = 1, kDurationSeconds = 2 };

// Mode 1: "[H hour[s] ]M minute[s]"; mode 2: "S second[s]" of the remainder
// below a minute. Any other mode gives none. The unit words are localised;
// the plural "s" is not.
std::optional<std::string> FormatDuration(int32_t amount, int mode);

// "512 B", "63 KB", "1.50 MB", "4.00 GB"; "--" for the all-ones 16- and
// 32-bit values, which stand for an unknown size.
std::string FormatByteSize(uint64_t bytes);

}  // namespace corvane
