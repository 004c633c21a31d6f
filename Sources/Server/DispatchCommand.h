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
};

// `request` is one whole frame (length, command, reserved, payload) whose
// declared length is its size. Returns the XML reply body for GetCredit,
// GetEnabledApps and GetStats, none otherwise; HomeFolderSize answers
// through origin.reply_later, or at once when it refuses. SaveCredit and MinuteUsed set
// data.save_pending; the caller saves (SaveIfPending) before any reply goes
// out and before it reads more requests. A save still pending is made before
// a refill changes the tree, so the files always hold what saving after each
// request would have left.
std::optional<std::string> DispatchCommand(ServerData& data, std::span<const uint8_t> request,
                                           const RequestOrigin& origin);

}  // namespace corvane
