// The server requests of the admin tools as values rather than printed
// text: c5admin prints them, the window shows them. The rules of a change
// (read, change, save, read back and compare) live here once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "AdminCommands.h"
#include "AdminReport.h"
#include "AppSettings.h"

namespace corvane::admin {

// What a parent is told when the server ignored a change.
inline constexpr const char* kRefusedChange =
    "the server refused the change: run as root or as a member of the admin group, or add this "
    "machine's address to \"Admin addresses\" on the server";

enum class SaveOutcome {
  kStored,       // the read-back holds what was sent
  kRefused,      // the read-back still holds the old settings
  kNotAsSent,    // the server stored something else
  kUnreachable,  // no answer; *error says why
};

class AdminClient {
 public:
  explicit AdminClient(AdminTransport& transport) : t_(transport) {}

  // The keys of the user's enabled applications, in the server's order.
  std::optional<std::vector<std::string>> EnabledApps(const std::string& user);
  // The settings of (user, app); `filed` (when given) tells whether the
  // server has any for it. None when the server gave no usable reply.
  std::optional<AppSettings> Settings(const std::string& user, const std::string& app,
                                      bool* filed = nullptr);
  // Sends `after` and reads it back into *stored; `before` is what the
  // server held, to tell a refusal from a change.
  SaveOutcome Save(const std::string& user, const std::string& app, const AppSettings& before,
                   const AppSettings& after, AppSettings* stored);
  // Adds `minutes` (negative takes away) to the credit, never below 0.
  // kUnreachable with *error set when the app has no settings yet.
  SaveOutcome Grant(const std::string& user, const std::string& app, int32_t minutes,
                    AppSettings* stored);
  // Minutes per day for the `days` days up to today, oldest first.
  std::optional<std::vector<DayUsage>> Usage(const std::string& user, const std::string& app,
                                             int days);

  // Why the last request failed ("" after a success).
  const std::string& error() const { return error_; }
  // Whether the last request got to the server and back.
  bool reached() const { return reached_; }

 private:
  std::optional<Plist> Ask(uint8_t command, const Bytes& payload, bool want_array);

  AdminTransport& t_;
  std::string error_;
  bool reached_ = false;
};

// The record with the changes of `c` applied; absent members stay.
AppSettings ApplyChanges(AppSettings s, const SettingsChanges& c);

}  // namespace corvane::admin
