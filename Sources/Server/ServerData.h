// What the server owns for its whole life: the settings tree and the
// statistics tree (both dictionaries), whether they changed since the last
// save, and the few platform actions the command handlers take.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "AbsoluteTime.h"
#include "IpAddress.h"
#include "Plist.h"
#include "SerializedTree.h"

namespace corvane {

struct ServerData {
  Plist settings = Plist::Dictionary();
  Plist stats = Plist::Dictionary();
  // The files' XML, kept per user so that a save serialises only the users
  // changed since the last one: whatever changes a user's part of a tree
  // says so through SettingsChanged or StatsChanged.
  SerializedTree settings_xml, stats_xml;
  void SettingsChanged(std::string_view user) { settings_xml.Touch(settings, user); }
  void StatsChanged(std::string_view user) { stats_xml.Touch(stats, user); }

  // Set by SaveCredit and MinuteUsed; cleared once both files are written.
  bool save_pending = false;

  // Platform actions; the fuzz target and tests swap them.
  std::function<AbsoluteTime()> now;
  std::function<int(int pid)> kill_process;
  // Writes both files; none keeps the trees in memory only.
  std::function<void(ServerData&)> save;
  int own_pid = 0;

  // From the "Admin addresses" preference: the peers that may send
  // SaveCredit. None (no preference) lets anyone, as before the preference.
  std::optional<std::vector<IpRange>> admin_ranges;
};

// True when `peer` may change settings.
bool MaySaveCredit(const ServerData& data, const IpAddress& peer);

// Reads "Admin addresses" (an array of addresses or networks such as
// "192.168.1.0/24", or one string of them separated by commas or blanks).
// Entries that do not parse are logged and left out, so a mistyped list
// refuses rather than allows.
std::optional<std::vector<IpRange>> ReadAdminAddresses();

// A ServerData wired to the real clock, signals and files.
ServerData MakeServerData();

}  // namespace corvane
