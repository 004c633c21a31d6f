// Collects one reply frame (u32 big-endian body length, then the body) from
// the bytes a connection delivers, a few at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "WireCodec.h"

namespace corvane {

// Replies are read in pieces of at most this many bytes.
inline constexpr size_t kReplyReadSize = 64;

class ReplyAssembler {
 public:
  // How many bytes the next read may take: at most kReplyReadSize, and never
  // past the end of the announced frame, so that bytes a server sent beyond
  // its reply stay in the connection and are thrown away rather than taken
  // for part of the answer. 0 once the reply is complete or refused.
  size_t NextReadSize() const;

  void Append(const uint8_t* bytes, size_t count);

  // The announced body length has arrived in full. A length of 0 is never
  // taken, so such a reply is never complete.
  bool complete() const { return body_length_ != 0 && buffer_.size() == 4 + body_length_; }
  // The announced length is above kMaxReplyBodyLength: no reply.
  bool refused() const { return refused_; }

  // The bytes received so far without the 4 length bytes (all of them while
  // fewer than 4 arrived).
  Bytes TakeBody();

 private:
  Bytes buffer_;
  uint32_t body_length_ = 0;
  bool refused_ = false;
};

}  // namespace corvane
