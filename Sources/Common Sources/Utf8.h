// UTF-8 validity, shared by the plist layer and the wire codec.
#pragma once

#include <string_view>

namespace corvane {

// True for well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Text an XML plist can hold: valid UTF-8 without NUL, without the other
// control characters XML 1.0 forbids (tab, line feed and carriage return are
// fine) and without U+FFFE and U+FFFF.
bool IsPlistText(std::string_view text);

}  // namespace corvane
