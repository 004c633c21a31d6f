#include "ReplyAssembler.h"

#include <algorithm>

namespace corvane {

size_t ReplyAssembler::NextReadSize() const {
  if (refused_ || complete()) return 0;
  if (buffer_.size() < kReplyHeaderSize) return kReplyHeaderSize - buffer_.size();
  // A zero length is never taken, so there is no frame end to stop at.
  if (body_length_ == 0) return kReplyReadSize;
  return std::min(kReplyReadSize, kReplyHeaderSize + body_length_ - buffer_.size());
}

void ReplyAssembler::Append(const uint8_t* bytes, size_t count) {
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  if (body_length_ != 0 || buffer_.size() < kReplyHeaderSize) return;
  FrameResult frame = PeekReplyFrame(buffer_);
  if (frame.state == FrameState::kBadLength) {
    refused_ = true;
    return;
  }
  body_length_ = frame.length;
}

Bytes ReplyAssembler::TakeBody() {
  Bytes body = std::move(buffer_);
  buffer_.clear();
  if (body.size() >= kReplyHeaderSize) body.erase(body.begin(), body.begin() + kReplyHeaderSize);
  return body;
}

}  // namespace corvane
