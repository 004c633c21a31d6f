// Who sent a request, as the command handlers and the checks of what a peer
// may do see it; small enough that those need not see the dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "IpAddress.h"

namespace corvane {

// A peer on this machine, and the user owning its socket (none when that
// cannot be told: such a peer is refused whatever needs a user).
struct LocalPeer {
  bool local = false;
  std::optional<uint32_t> user;
};

struct PeerProcess {
  int32_t pid = 0;
  uint32_t user = 0;
};

// What a connection remembers between its requests, so that each kind of
// refusal is logged once per connection rather than once per frame.
struct PeerNotes {
  bool long_field_logged = false;
  bool other_user_minute_logged = false;
  bool other_user_refill_logged = false;
  bool new_keys_logged = false;
};

// User names and application keys longer than this are refused by the
// commands that store them.
inline constexpr size_t kMaxNameBytes = 255;

struct RequestOrigin {
  // The peer is this machine (127.0.0.0/8 or ::1): only such a peer may have
  // processes killed.
  bool loopback_peer = false;
  // Checked against the "Admin addresses" preference for SaveCredit.
  IpAddress peer;
  // Asked only by the commands that need it; unset reads as a peer on
  // another machine.
  std::function<LocalPeer()> identify;
  // Holds the place of a reply that is sent later, so that replies keep the
  // order of their requests; the function returned sends it (once; after the
  // connection is gone it does nothing). Unset where no reply can come later:
  // such a request is answered at once.
  std::function<std::function<void(const std::string& body)>()> reply_later;
  // The process of this machine holding the peer's socket, and its user;
  // none for a peer elsewhere or one that cannot be told.
  std::function<std::optional<PeerProcess>()> identify_process;
  // The connection's notes; none logs every refusal.
  PeerNotes* notes = nullptr;
};

}  // namespace corvane
