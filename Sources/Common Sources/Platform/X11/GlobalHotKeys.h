// The agent's two global hot keys, Control+Alt+C and Control+Alt+H, grabbed
// on the root window of the display named by DISPLAY over a connection of
// their own. The caller watches EventDescriptor() and calls ReadPressed()
// when it is readable.
#pragma once

#include <memory>
#include <vector>

namespace corvane {

enum class HotKey { kCreditStrip, kStatusItem };  // Control+Alt+C, Control+Alt+H
enum class HotKeysStart { kStarted, kNoDisplay, kHeldElsewhere };

class GlobalHotKeys {
 public:
  GlobalHotKeys();
  ~GlobalHotKeys();
  GlobalHotKeys(const GlobalHotKeys&) = delete;
  GlobalHotKeys& operator=(const GlobalHotKeys&) = delete;

  // Connects and grabs both keys, with and without Caps Lock and Num Lock.
  // kHeldElsewhere when another client already holds one of the grabs.
  HotKeysStart Start();
  // The connection's descriptor; -1 before a successful Start.
  int EventDescriptor() const;
  // The hot keys pressed since the last call, in order. Also drains events
  // already queued, so call it once after Start.
  std::vector<HotKey> ReadPressed();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvane
