// The home folder's size as the server on this machine measures it: as
// root, so that folders the user made unreadable still count. Asked over a
// connection of its own, not the client module's, so a slow answer can never
// be read out of step with another request; usable from any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// Blocks up to `timeout_seconds`. None when no server listens at "localhost"
// `port`, it does not answer in time (a server that does not know the
// request never answers), or it answers without a size.
std::optional<uint64_t> RequestHomeFolderSize(uint16_t port, double timeout_seconds);

// The server's answer, or this process's own walk (HomeFolderSize) when
// there is none.
uint64_t MeasureHomeFolderSize(uint16_t port, double timeout_seconds);

}  // namespace corvane
