#include "PeerAuthority.h"

#include "Platform/System/UserAccount.h"

namespace corvane {
namespace {

bool ActsAsRoot(const ServerData& data, uint32_t user) { return user == 0 || user == data.own_uid; }

}  // namespace

bool MaySaveCredit(const ServerData& data, const RequestOrigin& origin, LocalPeer* peer) {
  *peer = origin.identify ? origin.identify() : LocalPeer();
  if (data.admin.anyone) return true;
  if (peer->local) {
    // An address says nothing about who is behind it on this machine.
    if (!peer->user) return false;
    return ActsAsRoot(data, *peer->user) ||
           data.env->UserInGroup(*peer->user, data.admin.group);
  }
  for (const IpRange& range : data.admin.addresses) {
    if (range.Contains(origin.peer)) return true;
  }
  return false;
}

bool MayReportFor(const ServerData& data, const RequestOrigin& origin, const std::string& user,
                  LocalPeer* peer, bool* trusted) {
  *trusted = false;
  if (!origin.identify) return true;
  *peer = origin.identify();
  if (!peer->local) return true;
  if (!peer->user) return false;
  *trusted = ActsAsRoot(data, *peer->user) ||
             data.env->UserInGroup(*peer->user, data.admin.group);
  if (*trusted) return true;
  std::string own = UserNameOfID(*peer->user);
  return !own.empty() && own == user;
}

std::string AllowanceHolder(const RequestOrigin& origin, const LocalPeer& peer) {
  if (peer.local && peer.user) return "uid " + std::to_string(*peer.user);
  return origin.peer.Text();
}

bool MayKillProcess(const ServerData& data, std::optional<uint32_t> user, int pid) {
  if (!user) return false;
  if (ActsAsRoot(data, *user)) return true;
  ProcessOwners owners = data.env->OwnersOfProcess(pid);
  return owners.real_user == user || owners.session_user == user;
}

std::string UserDescription(std::optional<uint32_t> user) {
  if (!user) return "unknown";
  std::string name = UserNameOfID(*user);
  return name.empty() ? "uid " + std::to_string(*user) : name;
}

std::string PeerDescription(const IpAddress& address, const LocalPeer& peer) {
  if (!peer.local) return address.Text();
  return address.Text() + " (user " + UserDescription(peer.user) + ")";
}

}  // namespace corvane
