// Executes one complete request frame against the server's trees.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "IpAddress.h"
#include "ServerData.h"

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

// `request` is one whole frame (length, command, reserved, payload) whose
// declared length is its size. Returns the XML reply body for GetCredit,
// GetEnabledApps and GetStats, none otherwise; HomeFolderSize answers
// through origin.reply_later, or at once when it refuses. SaveCredit and MinuteUsed set
// data.save_pending; the caller saves (SaveIfPending) before any reply goes
// out and before it reads more requests. One save covers every request
// handled since the last one, a refill of AutoUpdateCredit among them, so
// the files always hold the trees as they are.
std::optional<std::string> DispatchCommand(ServerData& data, std::span<const uint8_t> request,
                                           const RequestOrigin& origin);

}  // namespace corvane
