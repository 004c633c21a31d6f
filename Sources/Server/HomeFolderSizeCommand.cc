#include "HomeFolderSizeCommand.h"

#include "HomeFolderSizeReply.h"
#include "PeerAuthority.h"
#include "ServerLog.h"

namespace corvane {

std::optional<std::string> HandleHomeFolderSize(ServerData& data, const RequestOrigin& origin) {
  LocalPeer peer = origin.identify ? origin.identify() : LocalPeer{};
  if (!peer.local || !peer.user) {
    LogMessage("Refused home folder size from %s", PeerDescription(origin.peer, peer).c_str());
    return HomeFolderSizeReply(std::nullopt);
  }
  if (!data.measure_home || !origin.reply_later) return HomeFolderSizeReply(std::nullopt);
  LogMessage("handling home folder size for user %s", UserDescription(peer.user).c_str());
  auto reply = origin.reply_later();
  data.measure_home(*peer.user, [reply = std::move(reply)](std::optional<uint64_t> bytes) {
    reply(HomeFolderSizeReply(bytes));
  });
  return std::nullopt;
}

}  // namespace corvane
