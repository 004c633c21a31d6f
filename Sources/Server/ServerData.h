// What the server owns for its whole life: the settings tree and the
// statistics tree (both dictionaries), whether they changed since the last
// save, and the machine the command handlers act on.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "AbsoluteTime.h"
#include "IpAddress.h"
#include "NewKeyAllowance.h"
#include "Plist.h"
#include "SerializedTree.h"
#include "ServerEnv.h"

namespace corvane {

// Who may change settings.
struct AdminPolicy {
  // "Admin addresses" holds "any": every peer may. For networks where every
  // machine is trusted, and for admin tools that cannot tell who they run as.
  bool anyone = false;
  // Peers on other machines that may ("Admin addresses").
  std::vector<IpRange> addresses;
  // Users of this machine that may besides root ("Admin group").
  std::string group = "sudo";
};

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
  // The server saves at the end of the loop turn in which it was set.
  bool save_pending = false;
  // SaveCredit and MinuteUsed ask for a save whatever they changed, so that
  // a damaged or missing file is replaced by the trees in memory.
  void RequestSave() { save_pending = true; }

  // Saves are numbered in order: how many were started and how many are on
  // disk. Each user whose data a save must cover before a reply may show
  // it maps to that save; a connection whose own request changed anything
  // waits for it too (changes_to_save tells it so).
  uint64_t saves_started = 0, saves_done = 0;
  uint64_t changes_to_save = 0;
  std::unordered_map<std::string, uint64_t> unsaved_users;
  // A change that must reach the disk before anything is answered after it.
  void ChangeToSave(std::string_view user) {
    RequestSave();
    ++changes_to_save;
    unsaved_users[std::string(user)] = saves_started + 1;
  }
  // The save that a reply about `user` waits for; 0 for none.
  uint64_t SaveCovering(std::string_view user) const {
    auto it = unsaved_users.find(std::string(user));
    return it != unsaved_users.end() && it->second > saves_done ? it->second : 0;
  }
  // New statistics keys each peer may still create.
  NewKeyAllowance new_keys;

  // The clock, signals, account and process tables and files; the fuzz
  // target and tests hand in their own.
  ServerEnv* env = ServerEnv::Default();
  // Measures the home folder of `uid` off the loop and calls `done` from a
  // later turn (none: not known). Unset, HomeFolderSize answers none at once.
  std::function<void(uint32_t uid, std::function<void(std::optional<uint64_t>)> done)>
      measure_home;
  int own_pid = 0;
  // The user the server runs as: like root, it may already change anything
  // the server can.
  uint32_t own_uid = 0;

  AdminPolicy admin;

  // kAgentAlive from process `pid` whose socket is `user`'s; none when no
  // guard runs.
  std::function<void(int32_t pid, uint32_t user)> agent_alive;
};

// A root preference: the preference domain, or else the system preference
// file that the install tool's SetPrefKey writes.
std::optional<Plist> CopyAdminPreference(const char* key);

// Reads "Admin addresses" (an array of addresses or networks such as
// "192.168.1.0/24", or one string of them separated by commas or blanks;
// "any" for every peer) and "Admin group" (a group name). Entries that do not
// parse are logged and left out, so a mistyped list refuses rather than
// allows.
AdminPolicy ReadAdminPolicy();

// A ServerData of this process on the real machine.
ServerData MakeServerData();

}  // namespace corvane
