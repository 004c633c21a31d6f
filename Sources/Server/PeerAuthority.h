// What a peer may have the server do beyond the open queries and minute
// reports: change settings, and have a process killed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "RequestOrigin.h"
#include "ServerData.h"

namespace corvane {

// SaveCredit: on this machine the peer's user must be root, the server's
// own user or a member of the admin group ("Admin addresses" entries do not
// count there); another machine's address must be in "Admin addresses".
// "any" lets every peer. `peer` is what was found out, for the log.
bool MaySaveCredit(const ServerData& data, const RequestOrigin& origin, LocalPeer* peer);

// MinuteUsed and AutoUpdateCredit for `user`: from this machine only for
// the peer's own user, unless that is root, the server's own user or a
// member of the admin group. From another machine, and from an origin that
// cannot identify peers (in-process callers), always: there is no user of
// this machine to hold the report against.
// *trusted tells whether the peer is one of this machine's that may report
// for anyone.
bool MayReportFor(const ServerData& data, const RequestOrigin& origin, const std::string& user,
                  LocalPeer* peer, bool* trusted);
// Whose allowance of new statistics keys a request draws on: the user of a
// peer on this machine (all of their connections together), else the
// peer's address.
std::string AllowanceHolder(const RequestOrigin& origin, const LocalPeer& peer);

// DisconnectionRequest from a peer of this machine owned by `user`: root
// (or the server's own user) may have any process killed; anyone else only
// processes whose real user they are, or the leader of a login session of
// theirs (what the agent ends when the computer's time is up).
bool MayKillProcess(const ServerData& data, std::optional<uint32_t> user, int pid);

// "127.0.0.1 (user nobody)" for a peer of this machine, the address alone
// for others.
std::string PeerDescription(const IpAddress& address, const LocalPeer& peer);
// "nobody", "uid 1234" when the account has no name, "unknown".
std::string UserDescription(std::optional<uint32_t> user);

}  // namespace corvane
