// The agent's requests to the server, over the client module's connection.
#pragma once

#include "AgentInterfaces.h"

namespace corvane {

inline constexpr int kMinuteUsedTimeoutSeconds = 3;
inline constexpr int kDisconnectionTimeoutSeconds = 10;
// How often the agent tells the server of its machine that it is alive;
// well inside the server's liveness window of 20 seconds.
inline constexpr int kAgentAliveSeconds = 3;

class CorvaneServerLink : public AgentServerLink {
 public:
  int ConnectToServer() override;
  void RequestRefill(const std::string& user, const std::string& app) override;
  void FetchAppSettings(const std::string& user, const std::string& app,
                        AppSettings* out) override;
  // MinuteUsed with the packed record; no reply, the status is not looked at.
  void MinuteUsed(const std::string& user, const std::string& app,
                  const AppSettings& settings) override;
  // The pid as decimal text to the server on this machine; SendCommand's
  // status.
  int DisconnectionRequest(int32_t pid) override;
  std::optional<int32_t> MinutesUsedOn(const std::string& user, const std::string& app,
                                       const std::string& day) override;
};

}  // namespace corvane
