// The agent's requests to the server, over the client module's connection.
// A request without an answer marks the server away: until a reconnect
// succeeds no request waits on the network, and charged minutes are kept to
// be delivered when it is back.
#pragma once

#include "AgentInterfaces.h"
#include "PendingMinutes.h"
#include "Platform/System/Deadline.h"

namespace corvane {

inline constexpr int kMinuteUsedTimeoutSeconds = 3;
inline constexpr int kDisconnectionTimeoutSeconds = 10;
// How often the agent tells the server of its machine that it is alive;
// well inside the server's liveness window of 20 seconds.
inline constexpr int kAgentAliveSeconds = 3;
// Between the end of one failed reconnect and the next try.
inline constexpr double kReconnectPauseSeconds = 5.0;

class CorvaneServerLink : public AgentServerLink {
 public:
  // Marks the server away when it fails.
  int ConnectToServer() override;
  void RequestRefill(const std::string& user, const std::string& app) override;
  // An answer also confirms the minutes sent before it on the connection.
  bool FetchAppSettings(const std::string& user, const std::string& app,
                        AppSettings* out) override;
  // MinuteUsed with the packed record when the server is there; kept
  // otherwise.
  void MinuteUsed(const std::string& user, const std::string& app,
                  const AppSettings& settings) override;
  bool ReconnectIfAway() override;
  // The pid as decimal text to the server on this machine, over the local
  // connection whether or not the server connection is up; SendCommand's
  // status.
  int DisconnectionRequest(int32_t pid) override;
  std::optional<int32_t> MinutesUsedOn(const std::string& user, const std::string& app,
                                       const std::string& day) override;

  bool away() const { return away_; }
  uint32_t PendingMinuteCount() const {
    return pending_.TotalMinutes() + unconfirmed_.TotalMinutes();
  }

 private:
  void GoAway();
  bool SendMinute(const PendingMinutes::Entry& entry);
  // Sends the kept minutes and waits for an answer after them; false (and
  // away again) when that fails.
  bool DeliverKeptMinutes();

  bool away_ = false;
  Deadline next_try_ = Deadline::After(0);
  PendingMinutes pending_;      // not sent yet
  PendingMinutes unconfirmed_;  // written, but no answer has come after them yet
};

}  // namespace corvane
