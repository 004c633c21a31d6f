// The daily credit refill of one app settings dictionary in the loaded
// settings tree (AutoUpdateCredit). Changes stay in memory until the next
// save.
#pragma once

#include <string_view>

#include "ServerData.h"

namespace corvane {

// Logs and stops when the user's or the app's dictionary is missing; never
// creates settings.
void ApplyRefill(ServerData& data, const std::string* user, const std::string* app);

}  // namespace corvane
