// The account this process runs as, from the password database (never from
// the environment, which the user controls).
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace corvane
