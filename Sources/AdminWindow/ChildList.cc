#include "ChildList.h"

#include <strings.h>

#include <algorithm>

#include "Paths.h"
#include "PlistFile.h"
#include "PreferenceKeys.h"

namespace corvane::admin {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

std::vector<Child> MergeChildren(const std::vector<LocalAccount>& accounts,
                                 const std::vector<std::string>& filed,
                                 const std::vector<std::string>& typed,
                                 const std::string& non_watched) {
  std::vector<Child> children;
  auto find = [&](const std::string& name) {
    return std::find_if(children.begin(), children.end(),
                        [&](const Child& c) { return c.name == name; });
  };
  for (const LocalAccount& a : accounts) {
    if (find(a.name) == children.end()) children.push_back({a.name, a.full_name, true});
  }
  size_t first_other = children.size();
  for (const auto* names : {&filed, &typed}) {
    for (const std::string& n : *names) {
      if (!n.empty() && find(n) == children.end()) children.push_back({n, n});
    }
  }
  std::sort(children.begin() + static_cast<long>(first_other), children.end(),
            [](const Child& a, const Child& b) { return a.name < b.name; });
  for (Child& c : children) {
    c.filed = std::find(filed.begin(), filed.end(), c.name) != filed.end();
    c.non_watched = !non_watched.empty() && SameName(c.name, non_watched);
  }
  return children;
}

std::string NonWatchedAccountName() {
  auto prefs = ReadPlistFile(SystemPath(kPreferenceFile));
  if (!prefs || !prefs->IsDictionary()) return "";
  const Plist* account = prefs->AsDictionary()->Find(pref::kNonWatchedAccount);
  const std::string* name = account != nullptr ? account->AsString() : nullptr;
  return name != nullptr ? *name : "";
}

}  // namespace corvane::admin
