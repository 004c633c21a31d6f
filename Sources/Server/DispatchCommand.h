// Executes one complete request frame against the server's trees.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "RequestOrigin.h"
#include "ServerData.h"

namespace corvane {

// `request` is one whole frame (length, command, reserved, payload) whose
// declared length is its size. Returns the XML reply body for GetCredit,
// GetEnabledApps and GetStats, none otherwise; HomeFolderSize answers
// through origin.reply_later, or at once when it refuses. SaveCredit and
// MinuteUsed ask for a save; the owner saves once at the end of the loop
// turn (SaveIfPending), before any reply that shows a change goes out. One
// save covers every request handled since the last one, a refill of
// AutoUpdateCredit among them, so the files always hold the trees as they
// are.
std::optional<std::string> DispatchCommand(ServerData& data, std::span<const uint8_t> request,
                                           const RequestOrigin& origin);

}  // namespace corvane
