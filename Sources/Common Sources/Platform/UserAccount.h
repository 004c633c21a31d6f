// The account this process runs as, from the password database (never from
// the environment, which the user controls).
#pragma once

#include <string>

namespace corvane {

// The login name; "" when the account has no entry.
std::string ShortUserName();
// The first field of the account's comment (GECOS) field, or the login name
// when that is empty.
std::string FullUserName();
// The home folder; "" when the account has no entry.
std::string HomeFolder();

}  // namespace corvane
