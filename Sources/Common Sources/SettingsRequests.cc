#include "SettingsRequests.h"

#include <optional>

#include "CorvaneLoader.h"
#include "PlistXml.h"
#include "WireCodec.h"

namespace corvane {
namespace {

Bytes UserAppPayload(std::string_view user, std::string_view app) {
  Bytes payload;
  AppendStringField(&payload, user);
  AppendStringField(&payload, app);
  return payload;
}

}  // namespace

bool FetchAppSettings(std::string_view user, std::string_view app, AppSettings* out) {
  Bytes payload = UserAppPayload(user, app);
  std::optional<Bytes> reply;
  bool complete = false;
  for (int attempt = 0; attempt < kFetchTries; ++attempt) {
    SendCommand(kGetCredit, payload, kFetchTimeoutSeconds, true, &reply, &complete);
    // Any reply ends the tries, even an empty one.
    if (reply) break;
    if (attempt + 1 < kFetchTries) ReportReconnect();
  }
  bool parsed = ReadSettingsReply(reply ? *reply : Bytes(), out);
  return complete && parsed;
}

bool ReadSettingsReply(const Bytes& body, AppSettings* out) {
  std::optional<Plist> parsed;
  if (!body.empty()) {
    parsed = ParsePlistXml(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  }
  bool answered = parsed && parsed->IsDictionary();
  Plist settings = parsed ? std::move(*parsed) : Plist::Dictionary();
  *out = AppSettings();
  ReadAppSettings(&settings, out);
  return answered;
}

std::optional<int32_t> MinutesOnDay(const Bytes& body, std::string_view day) {
  if (body.empty()) return std::nullopt;
  std::optional<Plist> parsed =
      ParsePlistXml(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  if (!parsed || !parsed->IsDictionary()) return std::nullopt;
  return static_cast<int32_t>(NumberValue(parsed->AsDictionary()->Find(std::string(day)), 32));
}

int RequestRefill(std::string_view user, std::string_view app) {
  return SendCommand(kAutoUpdateCredit, UserAppPayload(user, app), kRefillTimeoutSeconds, false,
                     nullptr);
}

}  // namespace corvane
