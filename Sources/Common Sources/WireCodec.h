// The byte layout shared by server and clients. A request is
//   length (u32 big-endian, counting the whole request) | command (1 byte) |
//   reserved (4 zero bytes) | payload
// and a reply is
//   body length (u32 big-endian, not counting itself) | XML plist body.
// Integers inside a payload are little-endian; a string field is a u32
// little-endian byte count followed by that many bytes of UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

using Bytes = std::vector<uint8_t>;

enum Command : uint8_t {
  kGetCredit = 1,
  kSaveCredit = 2,
  kAutoUpdateCredit = 3,
  kGetEnabledApps = 4,
  kGetStats = 5,
  kMinuteUsed = 6,
  kDisconnectionRequest = 7,
  // The agent says it is alive, on its connection to the server of its own
  // machine. No payload is read and nothing is answered: the server takes
  // the sender from the socket.
  kAgentAlive = 8,
  // Empty payload; answered only to a peer on this machine, for its own
  // user (HomeFolderSizeReply.h).
  kHomeFolderSize = 9,
};

inline constexpr uint16_t kDefaultServerPort = 49308;
inline constexpr size_t kRequestHeaderSize = 9;
inline constexpr size_t kReplyHeaderSize = 4;
// No request of the system comes near these; larger declared lengths are
// refused before anything is buffered for them.
inline constexpr uint32_t kMaxRequestLength = 1u << 20;
inline constexpr uint32_t kMaxReplyBodyLength = 16u << 20;

inline void StoreLittleEndian32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint32_t LoadLittleEndian32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void StoreBigEndian32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline uint32_t LoadBigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Appends the field; returns the buffer length before the append (where the
// field begins). Text that is not storable appends nothing.
size_t AppendStringField(Bytes* buffer, std::string_view text);

// Reads the field at `offset`. *next_offset is set behind the field (offset +
// 4 + count) whether or not the text is usable. None when the count or the
// bytes run past the message, or the text is not plist text:
// every user and application key may become a key of the stored files.
std::optional<std::string> ReadStringField(std::span<const uint8_t> message, size_t offset,
                                           size_t* next_offset);

// The whole request frame around `payload`.
Bytes BuildRequest(uint8_t command, std::span<const uint8_t> payload);
// The whole reply frame around `body`.
Bytes BuildReply(std::string_view body);

enum class FrameState { kIncomplete, kComplete, kBadLength };
struct FrameResult {
  FrameState state = FrameState::kIncomplete;
  // Request: the whole declared length (header included).
  // Reply: the body length.
  uint32_t length = 0;
};

// Looks at the start of the buffered bytes of a connection. kBadLength for a
// declared length below the 9-byte header or above kMaxRequestLength: such a
// frame cannot be consumed and the connection has to go.
FrameResult PeekRequestFrame(std::span<const uint8_t> buffered);
// kBadLength for a body length above kMaxReplyBodyLength.
FrameResult PeekReplyFrame(std::span<const uint8_t> buffered);

}  // namespace corvane
