// The settings requests of the agent and the statistics tool, sent over the
// server connection of CorvaneLoader.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "AppSettings.h"
#include "WireCodec.h"

namespace corvane {

inline constexpr int kFetchTimeoutSeconds = 2;
inline constexpr int kFetchTries = 2;
inline constexpr int kRefillTimeoutSeconds = 3;

// GetCredit for (user, app), up to two tries with the reconnect notice
// between them. *out is read from the reply; when the server cannot be
// reached, or its reply is empty or not a property list, it holds the
// defaults of an empty dictionary (no credit, not enabled). True only when
// the server answered: a complete reply that parsed. A caller that keeps
// what it had on false never takes a time-out for "disabled".
bool FetchAppSettings(std::string_view user, std::string_view app, AppSettings* out);

// The record a GetCredit reply body stands for: the body parsed as a
// property list, an empty dictionary when it is empty or does not parse
// (then false).
bool ReadSettingsReply(const Bytes& body, AppSettings* out);

// The minutes a GetStats reply body holds for `day` (a day key): 0 when the
// day is absent; none when the body is empty or no dictionary, as after a
// lost or cut reply.
std::optional<int32_t> MinutesOnDay(const Bytes& body, std::string_view day);

// AutoUpdateCredit for (user, app), one try, no reply; SendCommand's status.
int RequestRefill(std::string_view user, std::string_view app);

}  // namespace corvane
