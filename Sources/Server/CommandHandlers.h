// The seven command handlers. Each reads its string fields from offset 9 of
// the whole request frame; queries return the XML reply body.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "RequestOrigin.h"
#include "ServerData.h"

namespace corvane {

using Request = std::span<const uint8_t>;

std::string HandleGetCredit(ServerData& data, Request request);
void HandleSaveCredit(ServerData& data, Request request, const RequestOrigin& origin);
void HandleAutoUpdateCredit(ServerData& data, Request request, const RequestOrigin& origin);
std::string HandleGetEnabledApps(ServerData& data, Request request);
std::string HandleGetStats(ServerData& data, Request request);
void HandleMinuteUsed(ServerData& data, Request request, const RequestOrigin& origin);
void HandleDisconnectionRequest(ServerData& data, Request request, const RequestOrigin& origin);
// Not logged: every agent sends it every few seconds.
void HandleAgentAlive(ServerData& data, const RequestOrigin& origin);

}  // namespace corvane
