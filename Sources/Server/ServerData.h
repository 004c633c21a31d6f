// What the server owns for its whole life: the settings tree and the
// statistics tree (both dictionaries), whether they changed since the last
// save, and the few platform actions the command handlers take.
#pragma once

#include <functional>

#include "AbsoluteTime.h"
#include "Plist.h"

namespace corvane {

struct ServerData {
  Plist settings = Plist::Dictionary();
  Plist stats = Plist::Dictionary();

  // Set by SaveCredit and MinuteUsed; cleared once both files are written.
  bool save_pending = false;

  // Platform actions; the fuzz target and tests swap them.
  std::function<AbsoluteTime()> now;
  std::function<int(int pid)> kill_process;
  // Writes both files; none keeps the trees in memory only.
  std::function<void(ServerData&)> save;
  int own_pid = 0;
};

// A ServerData wired to the real clock, signals and files.
ServerData MakeServerData();

}  // namespace corvane
