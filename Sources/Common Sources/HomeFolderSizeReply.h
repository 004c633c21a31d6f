// The reply to kHomeFolderSize: an XML property list like every other reply,
// so a client's framing is the same for it. A dictionary with the size of
// the asking user's home folder in bytes under "Home folder size"; an empty
// dictionary when the server will not or cannot tell.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvane {

inline constexpr const char* kHomeFolderSizeKey = "Home folder size";

// The reply body for `size` (none: the empty dictionary).
std::string HomeFolderSizeReply(std::optional<uint64_t> size);

// The size a reply body gives; none for the empty dictionary, a body that is
// not a property list, or a size that is missing, not an integer or
// negative.
std::optional<uint64_t> ReadHomeFolderSizeReply(std::span<const uint8_t> body);

}  // namespace corvane
