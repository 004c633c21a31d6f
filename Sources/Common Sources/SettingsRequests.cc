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

int RequestRefill(std::string_view user, std::string_view app) {
  return SendCommand(kAutoUpdateCredit, UserAppPayload(user, app), kRefillTimeoutSeconds, false,
                     nullptr);
}

}  // namespace corvane
