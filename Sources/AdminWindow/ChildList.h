// Who the window offers as a child: the people with an account on this
// machine, the users the server has settings for, and names a parent typed
// (children of another machine of the lab).
#pragma once

#include <string>
#include <vector>

#include "Platform/System/UserAccount.h"

namespace corvane::admin {

struct Child {
  std::string name;       // the short name the server files settings under
  std::string full_name;  // what the list shows beside it
  bool local = false;     // an account of this machine
  bool filed = false;     // the server has enabled settings for it
  bool non_watched = false;
};

// Accounts first, in their order, then the other names sorted; one entry a
// name. `filed` names the users with settings on the server; `non_watched`
// is the machine's "Non-watched account" (any letter case), "" for none.
std::vector<Child> MergeChildren(const std::vector<LocalAccount>& accounts,
                                 const std::vector<std::string>& filed,
                                 const std::vector<std::string>& typed,
                                 const std::string& non_watched);

// The "Non-watched account" of this machine's preference file; "" when the
// file or the key is missing.
std::string NonWatchedAccountName();

// The user ids from which accounts are people.
inline constexpr uint32_t kFirstPersonUid = 1000;

}  // namespace corvane::admin
