// The session guard's root preferences, read at start-up like "Admin
// addresses".
#include <strings.h>

#include <filesystem>
#include <string>

#include "GuardPreferences.h"
#include "Paths.h"
#include "Platform/System/ProcessIdentity.h"
#include "PreferenceKeys.h"
#include "Preferences.h"
#include "ServerData.h"
#include "ServerLog.h"

namespace corvane {
namespace {

// A plist array of texts, or one text of items separated by commas.
std::vector<std::string> ListPreference(const char* key, bool* present) {
  std::vector<std::string> items;
  auto value = CopyAdminPreference(key);
  *present = value.has_value();
  if (!value) return items;
  auto add = [&](std::string_view item) {
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (!item.empty()) items.emplace_back(item);
  };
  if (const PlistArray* list = value->AsArray()) {
    for (const Plist& entry : *list) {
      if (const std::string* s = entry.AsString()) add(*s);
    }
  } else if (const std::string* s = value->AsString()) {
    size_t start = 0;
    while (start <= s->size()) {
      size_t end = s->find(',', start);
      if (end == std::string::npos) end = s->size();
      add(std::string_view(*s).substr(start, end - start));
      start = end + 1;
    }
  }
  return items;
}

std::string TextPreference(const char* key) {
  auto value = CopyAdminPreference(key);
  const std::string* text = value ? value->AsString() : nullptr;
  return text ? *text : std::string();
}

// The path /proc shows for the program, so a link or ".." cannot make the
// comparison fail or pass.
std::string CanonicalProgram(const std::string& path) {
  std::error_code error;
  auto canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

// "grace,liveness,pass" in seconds: test rigs shorten the times. Only a
// server in a private root takes it.
void ApplyTiming(GuardPolicy* policy) {
  bool present = false;
  auto times = ListPreference(pref::kGuardTiming, &present);
  if (!present || RootPrefix().empty() || times.size() != 3) return;
  double values[3];
  for (int i = 0; i < 3; ++i) {
    values[i] = std::strtod(times[i].c_str(), nullptr);
    if (!(values[i] > 0 && values[i] <= 3600)) return;
  }
  policy->grace = values[0];
  policy->liveness = values[1];
  policy->pass = values[2];
}

}  // namespace

GuardPolicy ReadGuardPolicy() {
  GuardPolicy policy;
  bool named = false;
  for (const std::string& name : ListPreference(pref::kGuardedUsers, &named)) {
    if (strcasecmp(name.c_str(), "any") == 0) {
      policy.every_user = true;
    } else {
      policy.named_users.insert(name);
    }
  }
  // Only root can signal the session's processes and read an agent's
  // environment. A server in a private root (tests, the demo) guards only
  // when told to, so it never ends the sessions of the machine it runs on.
  policy.enabled = EffectiveUserID() == 0 && (RootPrefix().empty() || named);
  auto console = CopyAdminPreference(pref::kGuardConsoleSessions);
  if (console && console->AsString()) policy.guard_console = StringIntValue(*console->AsString()) != 0;
  std::string program = TextPreference(pref::kAgentProgram);
  policy.agent_program =
      CanonicalProgram(program.empty() ? SystemPath(kInstalledAgent) : program);
  bool allowed = false;
  policy.allowed_environment = ListPreference(pref::kAgentEnvironmentAllowed, &allowed);
  policy.non_watched_account = TextPreference(pref::kNonWatchedAccount);
  ApplyTiming(&policy);
  return policy;
}

}  // namespace corvane
