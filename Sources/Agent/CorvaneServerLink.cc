#include "CorvaneServerLink.h"

#include <cstdio>
#include <string>

#include "CorvaneLoader.h"
#include "SettingsRequests.h"
#include "WireCodec.h"

namespace corvane {

void CorvaneServerLink::GoAway() {
  if (!away_) {
    std::printf("Server away: counting on from the last settings.\n");
    std::fflush(stdout);
  }
  away_ = true;
  next_try_ = Deadline::After(kReconnectPauseSeconds);
  // A minute written into a connection that then broke may never have been
  // read: it is told again (the server then charges it twice rather than
  // never).
  pending_.TakeFrom(&unconfirmed_);
}

int CorvaneServerLink::ConnectToServer() {
  int status = corvane::ConnectToServer();
  if (status != kClientOK) {
    GoAway();
  } else if (away_) {
    away_ = false;
    DeliverKeptMinutes();
  }
  return status;
}

bool CorvaneServerLink::DeliverKeptMinutes() {
  if (pending_.empty()) return true;
  PendingMinutes::Entry last;
  bool sent = pending_.Deliver([this, &last](const PendingMinutes::Entry& e) {
    last = e;
    return SendMinute(e);
  });
  if (!sent) {
    GoAway();
    return false;
  }
  // An answer after them shows the server has read them all.
  AppSettings ignored;
  return FetchAppSettings(last.user, last.app, &ignored);
}

void CorvaneServerLink::RequestRefill(const std::string& user, const std::string& app) {
  if (away_) return;
  if (corvane::RequestRefill(user, app) != kClientOK) GoAway();
}

bool CorvaneServerLink::FetchAppSettings(const std::string& user, const std::string& app,
                                         AppSettings* out) {
  if (away_) {
    *out = AppSettings();
    return false;
  }
  bool answered = corvane::FetchAppSettings(user, app, out);
  if (!answered) {
    GoAway();
    return false;
  }
  // The server reads a connection's requests in order: it has the minutes.
  unconfirmed_ = PendingMinutes();
  return true;
}

bool CorvaneServerLink::SendMinute(const PendingMinutes::Entry& e) {
  Bytes payload = PackAppSettings(e.user, e.app, e.settings);
  if (SendCommand(kMinuteUsed, payload, kMinuteUsedTimeoutSeconds, false, nullptr) != kClientOK) {
    return false;
  }
  unconfirmed_.Add(e.user, e.app, e.settings);
  return true;
}

void CorvaneServerLink::MinuteUsed(const std::string& user, const std::string& app,
                                   const AppSettings& settings) {
  if (!pending_.Add(user, app, settings)) {
    std::printf("Too many minutes kept for the server; one of %s is lost.\n", app.c_str());
  }
  if (away_) return;
  if (!pending_.Deliver([this](const PendingMinutes::Entry& e) { return SendMinute(e); })) {
    GoAway();
  }
}

bool CorvaneServerLink::ReconnectIfAway() {
  if (!away_ || !next_try_.Passed()) return false;
  DropServerConnection();
  if (corvane::ConnectToServer() != kClientOK) {
    next_try_ = Deadline::After(kReconnectPauseSeconds);
    return false;
  }
  away_ = false;
  uint32_t count = pending_.TotalMinutes();
  if (!DeliverKeptMinutes()) return false;
  std::printf("Server back: %u kept minutes delivered.\n", count);
  std::fflush(stdout);
  return true;
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
