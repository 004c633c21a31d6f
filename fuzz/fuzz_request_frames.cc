// Splits arbitrary bytes into request frames the way the server's connection
// buffer does, and reads every string field of each frame.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "AppSettings.h"
#include "WireCodec.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> buffered(data, size);
  while (true) {
    FrameResult r = PeekRequestFrame(buffered);
    if (r.state != FrameState::kComplete) break;
    if (r.length < kRequestHeaderSize || r.length > buffered.size()) std::abort();
    std::span<const uint8_t> frame = buffered.first(r.length);
    size_t offset = kRequestHeaderSize;
    for (int field = 0; field < 3 && offset <= frame.size(); ++field) {
      size_t next = 0;
      auto text = ReadStringField(frame, offset, &next);
      if (text) {
        Bytes again;
        AppendStringField(&again, *text);
        if (again.size() != 4 + text->size()) std::abort();
      }
      offset = next;
    }
    AppSettings s;
    if (UnpackAppSettings(frame, offset, &s) && offset + kPackedSettingsSize > frame.size()) {
      std::abort();
    }
    buffered = buffered.subspan(r.length);
  }
  PeekReplyFrame(std::span<const uint8_t>(data, size));
  return 0;
}
