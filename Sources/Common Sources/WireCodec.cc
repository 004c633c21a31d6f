#include "WireCodec.h"

#include "Utf8.h"

namespace corvane {

size_t AppendStringField(Bytes* buffer, std::string_view text) {
  size_t start = buffer->size();
  if (!IsPlistText(text) || text.size() > UINT32_MAX) return start;
  buffer->resize(start + 4 + text.size());
  StoreLittleEndian32(static_cast<uint32_t>(text.size()), buffer->data() + start);
  std::copy(text.begin(), text.end(), buffer->begin() + static_cast<ptrdiff_t>(start + 4));
  return start;
}

std::optional<std::string> ReadStringField(std::span<const uint8_t> message, size_t offset,
                                           size_t* next_offset) {
  if (offset > message.size() || message.size() - offset < 4) {
    if (next_offset) *next_offset = offset + 4;
    return std::nullopt;
  }
  uint32_t count = LoadLittleEndian32(message.data() + offset);
  if (next_offset) *next_offset = offset + 4 + count;
  if (message.size() - offset - 4 < count) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(message.data() + offset + 4), count);
  if (!IsPlistText(text)) return std::nullopt;
  return text;
}

Bytes BuildRequest(uint8_t command, std::span<const uint8_t> payload) {
  Bytes frame(kRequestHeaderSize + payload.size());
  StoreBigEndian32(static_cast<uint32_t>(frame.size()), frame.data());
  frame[4] = command;
  std::copy(payload.begin(), payload.end(), frame.begin() + kRequestHeaderSize);
  return frame;
}

Bytes BuildReply(std::string_view body) {
  Bytes frame(kReplyHeaderSize + body.size());
  StoreBigEndian32(static_cast<uint32_t>(body.size()), frame.data());
  std::copy(body.begin(), body.end(), frame.begin() + kReplyHeaderSize);
  return frame;
}

FrameResult PeekRequestFrame(std::span<const uint8_t> buffered) {
  if (buffered.size() < 4) return {FrameState::kIncomplete, 0};
  uint32_t length = LoadBigEndian32(buffered.data());
  if (length < kRequestHeaderSize || length > kMaxRequestLength) {
    return {FrameState::kBadLength, length};
  }
  return {buffered.size() >= length ? FrameState::kComplete : FrameState::kIncomplete, length};
}

FrameResult PeekReplyFrame(std::span<const uint8_t> buffered) {
  if (buffered.size() < kReplyHeaderSize) return {FrameState::kIncomplete, 0};
  uint32_t length = LoadBigEndian32(buffered.data());
  if (length > kMaxReplyBodyLength) return {FrameState::kBadLength, length};
  return {buffered.size() - kReplyHeaderSize >= length ? FrameState::kComplete
                                                       : FrameState::kIncomplete,
          length};
}

}  // namespace corvane
