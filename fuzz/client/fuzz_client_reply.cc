// A server's reply bytes, delivered in pieces whose sizes the input chooses,
// through the client's frame assembly and the settings and statistics
// reading of the body.
#include <cstddef>
#include <cstdint>

#include "ReplyAssembler.h"
#include "SettingsRequests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte seeds the piece sizes: a server may split its reply
  // anywhere.
  uint8_t split = data[0];
  ++data;
  --size;
  corvane::ReplyAssembler assembler;
  size_t used = 0;
  while (used < size && assembler.NextReadSize() > 0) {
    size_t piece = 1 + (split + used) % assembler.NextReadSize();
    if (piece > size - used) piece = size - used;
    assembler.Append(data + used, piece);
    used += piece;
  }
  if (assembler.refused()) return 0;
  corvane::Bytes body = assembler.TakeBody();
  corvane::AppSettings settings;
  corvane::ReadSettingsReply(body, &settings);
  corvane::MinutesOnDay(body, "8-12-2026");
  return 0;
}
