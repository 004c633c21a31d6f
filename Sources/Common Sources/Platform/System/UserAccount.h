// The account this process runs as, from the password database (never from
// the environment, which the user controls).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// The login name; "" when the account has no entry.
std::string ShortUserName();
// The first field of the account's comment (GECOS) field, or the login name
// when that is empty.
std::string FullUserName();
// The home folder; "" when the account has no entry.
std::string HomeFolder();

// Any account, by user id.
// The login name of `uid`; "" when the account has no entry.
std::string UserNameOfID(uint32_t uid);
// The home folder of `uid`; "" when the account has no entry.
std::string HomeFolderOfID(uint32_t uid);
// True when the account `uid` belongs to the group named `group`, as its
// primary group or a supplementary one. False when either has no entry.
bool UserIsInGroup(uint32_t uid, const std::string& group);

// The accounts of the password database with a user id from `min_uid` on
// (people, not system accounts), in the database's order; the "nobody"
// account (65534) is left out.
struct LocalAccount {
  uint32_t uid = 0;
  std::string name;
  std::string full_name;  // first GECOS field, or the login name
};
std::vector<LocalAccount> LocalAccounts(uint32_t min_uid);

}  // namespace corvane
