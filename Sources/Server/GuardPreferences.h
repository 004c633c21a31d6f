// Reads the session guard's root preferences: "Guarded users" (names
// separated by commas, or "any"), "Guard console sessions" ("0" leaves
// text-console and remote sessions alone), "Agent program" (default: the
// installed agent), "Agent environment allowed" (NAME or NAME=VALUE items
// separated by commas) and the "Non-watched account".
#pragma once

#include "SessionGuard.h"

namespace corvane {

GuardPolicy ReadGuardPolicy();

}  // namespace corvane
