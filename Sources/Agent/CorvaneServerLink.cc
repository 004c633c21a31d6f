#include "CorvaneServerLink.h"

#include <string>

#include "CorvaneLoader.h"
#include "SettingsRequests.h"
#include "WireCodec.h"

namespace corvane {

int CorvaneServerLink::ConnectToServer() { return corvane::ConnectToServer(); }

void CorvaneServerLink::RequestRefill(const std::string& user, const std::string& app) {
  corvane::RequestRefill(user, app);
}

void CorvaneServerLink::FetchAppSettings(const std::string& user, const std::string& app,
                                         AppSettings* out) {
  corvane::FetchAppSettings(user, app, out);
}

void CorvaneServerLink::MinuteUsed(const std::string& user, const std::string& app,
                                   const AppSettings& settings) {
  Bytes payload = PackAppSettings(user, app, settings);
  SendCommand(kMinuteUsed, payload, kMinuteUsedTimeoutSeconds, false, nullptr);
}

int CorvaneServerLink::DisconnectionRequest(int32_t pid) {
  Bytes payload;
  AppendStringField(&payload, std::to_string(pid));
  return SendCommand(kDisconnectionRequest, payload, kDisconnectionTimeoutSeconds, false,
                     nullptr);
}

std::optional<int32_t> CorvaneServerLink::MinutesUsedOn(const std::string& user,
                                                        const std::string& app,
                                                        const std::string& day) {
  Bytes payload;
  AppendStringField(&payload, user);
  AppendStringField(&payload, app);
  std::optional<Bytes> reply;
  if (SendCommand(kGetStats, payload, kFetchTimeoutSeconds, true, &reply) != 0 || !reply) {
    return std::nullopt;
  }
  return MinutesOnDay(*reply, day);
}

}  // namespace corvane
