#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "Platform/System/UserAccount.h"

namespace corvane {
namespace {

struct AccountEntry {
  std::string name;
  std::string gecos;
  std::string home;
  gid_t group = 0;
};

bool LookUpAccount(AccountEntry* entry, uid_t uid = getuid()) {
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return false;
  }
  entry->group = pw.pw_gid;
  entry->name = pw.pw_name != nullptr ? pw.pw_name : "";
  entry->gecos = pw.pw_gecos != nullptr ? pw.pw_gecos : "";
  entry->home = pw.pw_dir != nullptr ? pw.pw_dir : "";
  return true;
}

}  // namespace

std::string ShortUserName() {
  AccountEntry e;
  return LookUpAccount(&e) ? e.name : std::string();
}

std::string FullUserName() {
  AccountEntry e;
  if (!LookUpAccount(&e)) return std::string();
  std::string full = e.gecos.substr(0, e.gecos.find(','));
  return full.empty() ? e.name : full;
}

std::string HomeFolder() {
  AccountEntry e;
  return LookUpAccount(&e) ? e.home : std::string();
}

std::string UserNameOfID(uint32_t uid) {
  AccountEntry e;
  return LookUpAccount(&e, static_cast<uid_t>(uid)) ? e.name : std::string();
}

std::string HomeFolderOfID(uint32_t uid) {
  AccountEntry e;
  return LookUpAccount(&e, static_cast<uid_t>(uid)) ? e.home : std::string();
}

bool UserIsInGroup(uint32_t uid, const std::string& group) {
  AccountEntry e;
  if (group.empty() || !LookUpAccount(&e, static_cast<uid_t>(uid))) return false;
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (getgrnam_r(group.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return false;
  }
  gid_t wanted = found->gr_gid;
  std::vector<gid_t> groups(64);
  for (int attempt = 0; attempt < 4; ++attempt) {
    int count = static_cast<int>(groups.size());
    if (getgrouplist(e.name.c_str(), e.group, groups.data(), &count) >= 0) {
      groups.resize(static_cast<size_t>(count));
      for (gid_t g : groups) {
        if (g == wanted) return true;
      }
      return false;
    }
    groups.resize(static_cast<size_t>(count) > groups.size() ? static_cast<size_t>(count)
                                                             : groups.size() * 2);
  }
  return false;
}

std::vector<LocalAccount> LocalAccounts(uint32_t min_uid) {
  constexpr uid_t kNobody = 65534;
  std::vector<LocalAccount> accounts;
  setpwent();
  while (passwd* pw = getpwent()) {
    if (pw->pw_uid < min_uid || pw->pw_uid == kNobody || pw->pw_name == nullptr) continue;
    std::string gecos = pw->pw_gecos != nullptr ? pw->pw_gecos : "";
    std::string full = gecos.substr(0, gecos.find(','));
    accounts.push_back({pw->pw_uid, pw->pw_name, full.empty() ? pw->pw_name : full});
  }
  endpwent();
  return accounts;
}

}  // namespace corvane
