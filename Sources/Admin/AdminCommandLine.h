// c5admin's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "AdminUnits.h"

namespace corvane::admin {

enum class AdminVerb { kShow, kSet, kGrant, kStats };

// What `set` changes; an absent member stays as the server has it.
struct SettingsChanges {
  std::optional<bool> enabled;
  std::optional<int32_t> credit;
  std::optional<int32_t> weekday_refill;
  std::optional<int32_t> weekend_refill;
  std::optional<bool> carry_over;
  std::optional<std::optional<Window>> weekday_curfew;  // inner none: "off"
  std::optional<std::optional<Window>> weekend_curfew;
  std::optional<std::optional<int32_t>> quota_mb;
  bool Empty() const;
};

struct AdminRequest {
  AdminVerb verb = AdminVerb::kShow;
  std::string user;
  std::string app;  // the application key ("computer", "global", "otherApps" resolved)
  bool json = false;
  std::optional<ServerAddress> server;
  SettingsChanges changes;
  int32_t grant_minutes = 0;
  int days = 14;
  std::string chart_path;
};

inline constexpr const char* kAdminUsage =
    "usage: c5admin [--server HOST[:PORT]] [--json] COMMAND\n"
    "  show USER [APP]\n"
    "  set USER APP [--enable|--disable] [--credit 45m] [--weekday 2h] [--weekend 3h]\n"
    "               [--carry-over on|off] [--curfew-weekday 08:00-20:00|off]\n"
    "               [--curfew-weekend 09:00-21:00|off] [--quota 500MB|off]\n"
    "  grant USER APP MINUTES\n"
    "  stats USER APP [--days N] [--chart FILE.svg]\n"
    "APP is an application key; \"computer\" and \"global\" name the whole computer and the\n"
    "user-wide settings, \"otherApps\" every program no installed desktop entry names.\n";

// Parses the arguments after the program name. False with *error set when
// anything is missing or malformed.
bool ParseAdminCommandLine(const std::vector<std::string>& args, AdminRequest* out,
                           std::string* error);

}  // namespace corvane::admin
