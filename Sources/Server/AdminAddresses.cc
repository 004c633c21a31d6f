// Who may change settings, as the preferences say. On this machine the
// peer's user decides (root or the admin group); other machines need their
// address listed. "any" opens settings to every peer, for networks where
// every machine is trusted.
#include <strings.h>

#include <string>

#include "Paths.h"
#include "PlistFile.h"
#include "PreferenceKeys.h"
#include "Preferences.h"
#include "ServerData.h"
#include "ServerLog.h"

namespace corvane {
namespace {

void AddEntry(std::string_view text, AdminPolicy* policy) {
  if (text.empty()) return;
  if (text.size() == 3 && strncasecmp(text.data(), "any", 3) == 0) {
    policy->anyone = true;
  } else if (auto range = ParseIpRange(text)) {
    policy->addresses.push_back(*range);
  } else {
    LogMessage("Admin addresses: ignoring \"%.*s\"", static_cast<int>(text.size()), text.data());
  }
}

}  // namespace

// The preference, or else the key in the file the install tool's SetPrefKey
// writes: both are root's to write, and SetPrefKey is how an admin sets one.
std::optional<Plist> CopyAdminPreference(const char* key) {
  if (auto value = CopyPreference(key)) return value;
  auto file = ReadPlistFile(SystemPath(kPreferenceFile));
  const Plist* value = file && file->IsDictionary() ? file->AsDictionary()->Find(key) : nullptr;
  return value ? std::optional<Plist>(*value) : std::nullopt;
}

AdminPolicy ReadAdminPolicy() {
  AdminPolicy policy;
  auto group = CopyAdminPreference(pref::kAdminGroup);
  if (group && group->AsString() && !group->AsString()->empty()) policy.group = *group->AsString();
  auto value = CopyAdminPreference(pref::kAdminAddresses);
  if (!value) return policy;
  if (const PlistArray* list = value->AsArray()) {
    for (const Plist& item : *list) {
      if (const std::string* s = item.AsString()) AddEntry(*s, &policy);
    }
  } else if (const std::string* s = value->AsString()) {
    size_t start = 0;
    while (start <= s->size()) {
      size_t end = s->find_first_of(", \t", start);
      if (end == std::string::npos) end = s->size();
      AddEntry(std::string_view(*s).substr(start, end - start), &policy);
      start = end + 1;
    }
  }
  return policy;
}

}  // namespace corvane
