#include "CommandHandlers.h"

#include <optional>

#include "AppSettings.h"
#include "ApplyRefill.h"
#include "PeerAuthority.h"
#include "Preferences.h"
#include "PlistXml.h"
#include "ServerLog.h"
#include "SettingsAndStats.h"
#include "WireCodec.h"

namespace corvane {
namespace {

struct UserAndApp {
  std::optional<std::string> user, app;
  size_t end = 0;  // offset behind the app field
  bool both() const { return user && app; }
};

UserAndApp ReadUserAndApp(Request request) {
  UserAndApp fields;
  size_t next = 0;
  fields.user = ReadStringField(request, kRequestHeaderSize, &next);
  fields.app = ReadStringField(request, next, &fields.end);
  return fields;
}

const char* OrNull(const std::optional<std::string>& text) {
  return text ? text->c_str() : "(null)";
}

// Queries answer the empty container rather than nothing.
std::string Xml(const Plist* value, Plist::Type empty_type) {
  std::string xml;
  if (value && SerializePlistXml(*value, &xml)) return xml;
  xml.clear();
  SerializePlistXml(empty_type == Plist::Type::kArray ? Plist::Array() : Plist::Dictionary(), &xml);
  return xml;
}

const Plist* ChildDictionary(const Plist* parent, const std::string& key) {
  if (parent == nullptr || !parent->IsDictionary()) return nullptr;
  const Plist* child = parent->AsDictionary()->Find(key);
  return child && child->IsDictionary() ? child : nullptr;
}

// True, logging it once per connection, when a field the command would
// store is longer than any user name or application key.
bool TooLong(const UserAndApp& f, const RequestOrigin& origin) {
  bool too_long = (f.user && f.user->size() > kMaxNameBytes) ||
                  (f.app && f.app->size() > kMaxNameBytes);
  if (!too_long) return false;
  if (origin.notes == nullptr || !origin.notes->long_field_logged) {
    LocalPeer peer = origin.identify ? origin.identify() : LocalPeer();
    LogMessage("Refused a request from %s: a user name or application key is longer than %zu bytes",
               PeerDescription(origin.peer, peer).c_str(), kMaxNameBytes);
    if (origin.notes) origin.notes->long_field_logged = true;
  }
  return true;
}

// Logs a refusal once per connection (`logged` is the connection's note).
void LogOnce(const RequestOrigin& origin, bool PeerNotes::*logged, const char* what,
             const LocalPeer& peer, const UserAndApp& f) {
  if (origin.notes) {
    if (origin.notes->*logged) return;
    origin.notes->*logged = true;
  }
  LogMessage("Refused %s from %s for user %s and app %s", what,
             PeerDescription(origin.peer, peer).c_str(), OrNull(f.user), OrNull(f.app));
}

// New keys a minute of user/app adds to the statistics tree.
int NewStatsKeys(const ServerData& data, const std::string& user, const std::string& app) {
  const Plist* apps = ChildDictionary(&data.stats, user);
  if (apps == nullptr) return 2;
  return ChildDictionary(apps, app) == nullptr ? 1 : 0;
}

}  // namespace

std::string HandleGetCredit(ServerData& data, Request request) {
  UserAndApp f = ReadUserAndApp(request);
  const Plist* found = nullptr;
  if (f.both()) {
    LogMessage("handling get credit for user %s and app %s", f.user->c_str(), f.app->c_str());
    found = ChildDictionary(ChildDictionary(&data.settings, *f.user), *f.app);
  }
  return Xml(found, Plist::Type::kDictionary);
}

std::string HandleGetStats(ServerData& data, Request request) {
  UserAndApp f = ReadUserAndApp(request);
  const Plist* found = nullptr;
  if (f.both()) {
    // Logged as "get credit" on purpose, the same line as GetCredit's: it is
    // the line the log's readers know for a query.
    LogMessage("handling get credit for user %s and app %s", f.user->c_str(), f.app->c_str());
    found = ChildDictionary(ChildDictionary(ChildDictionary(&data.stats, *f.user), *f.app),
                            std::string(kStatsKey));
  }
  return Xml(found, Plist::Type::kDictionary);
}

std::string HandleGetEnabledApps(ServerData& data, Request request) {
  size_t next = 0;
  auto user = ReadStringField(request, kRequestHeaderSize, &next);
  PlistArray enabled;
  const Plist* apps = user ? ChildDictionary(&data.settings, *user) : nullptr;
  if (apps) {
    for (const auto& [key, value] : apps->AsDictionary()->entries()) {
      if (!value.IsDictionary()) continue;
      if (BooleanValue(value.AsDictionary()->Find(kKeyEnabled))) enabled.push_back(Plist::String(key.str()));
    }
  }
  Plist array = Plist::Array(std::move(enabled));
  return Xml(&array, Plist::Type::kArray);
}

void HandleSaveCredit(ServerData& data, Request request, const RequestOrigin& origin) {
  UserAndApp f = ReadUserAndApp(request);
  if (TooLong(f, origin)) return;
  LocalPeer peer;
  if (!MaySaveCredit(data, origin, &peer)) {
    LogMessage("Refused save credit from %s for user %s and app %s",
               PeerDescription(origin.peer, peer).c_str(), OrNull(f.user), OrNull(f.app));
    return;
  }
  LogMessage("handling save credit for user %s and app %s", OrNull(f.user), OrNull(f.app));
  AppSettings record;
  // A record cut short by the end of the request is not stored at all:
  // half a record would overwrite settings with zeros.
  if (f.both() && UnpackAppSettings(request, f.end, &record)) {
    StoreAppSettings(data.settings.AsDictionary(), *f.user, *f.app, record);
    data.SettingsChanged(*f.user);
    data.ChangeToSave(*f.user);
  }
  data.RequestSave();
}

void HandleAutoUpdateCredit(ServerData& data, Request request, const RequestOrigin& origin) {
  UserAndApp f = ReadUserAndApp(request);
  if (TooLong(f, origin)) return;
  LocalPeer peer;
  bool trusted = false;
  if (f.user && !MayReportFor(data, origin, *f.user, &peer, &trusted)) {
    LogOnce(origin, &PeerNotes::other_user_refill_logged, "auto update credit", peer, f);
    return;
  }
  // The refill reaches the files with the next save, which covers it and
  // whatever came before it.
  ApplyRefill(data, f.user ? &*f.user : nullptr, f.app ? &*f.app : nullptr);
}

void HandleMinuteUsed(ServerData& data, Request request, const RequestOrigin& origin) {
  UserAndApp f = ReadUserAndApp(request);
  if (TooLong(f, origin)) return;
  LocalPeer peer;
  bool trusted = false;
  if (f.user && !MayReportFor(data, origin, *f.user, &peer, &trusted)) {
    LogOnce(origin, &PeerNotes::other_user_minute_logged, "minute used", peer, f);
    return;
  }
  LogMessage("handling minute used notification user %s and app %s", OrNull(f.user),
             OrNull(f.app));
  if (!f.both()) {
    data.RequestSave();
    return;
  }
  // Root and the admins of this machine may create any number.
  int new_keys = trusted ? 0 : NewStatsKeys(data, *f.user, *f.app);
  if (new_keys == 0 ||
      data.new_keys.Take(AllowanceHolder(origin, peer), new_keys, data.env->Now())) {
    PlistDictionary& days = DictionaryChild(
        DictionaryChild(DictionaryChild(*data.stats.AsDictionary(), *f.user), *f.app), kStatsKey);
    std::string today = DayKey(data.env->Now());
    int64_t minutes = NumberValue(days.Find(today), 32);
    days.Set(today, Plist::Integer(minutes + 1, 32));
    data.StatsChanged(*f.user);
    data.ChangeToSave(*f.user);
  } else {
    // Not counted, but still charged below: a flood of fresh names must not
    // grow the files (nor cost a save), nor spare a watched application's
    // credit.
    LogOnce(origin, &PeerNotes::new_keys_logged, "new statistics keys", peer, f);
  }

  Plist* app_dict = FindAppSettings(*data.settings.AsDictionary(), *f.user, *f.app);
  if (app_dict == nullptr || !app_dict->IsDictionary()) return;
  Plist* credit = app_dict->AsDictionary()->Find(kKeyCredit);
  if (credit == nullptr) return;
  int64_t left = NumberValue(credit, 32) - 1;
  *credit = Plist::Integer(left < 0 ? 0 : left, 32);
  data.SettingsChanged(*f.user);
  data.ChangeToSave(*f.user);
}

void HandleDisconnectionRequest(ServerData& data, Request request, const RequestOrigin& origin) {
  size_t next = 0;
  auto text = ReadStringField(request, kRequestHeaderSize, &next);
  int pid = text ? StringIntValue(*text) : -1;
  LogMessage("Got disconnection request for pid %i", pid);
  if (!text || pid <= 0) return;
  // Only a process of this machine may ask, never for init or the server
  // itself, and only for what its user owns: otherwise anyone could have
  // root kill any process.
  if (!origin.loopback_peer) {
    LogMessage("Refused disconnection request from %s for pid %i", origin.peer.Text().c_str(), pid);
    return;
  }
  if (pid == 1 || pid == data.own_pid) return;
  std::optional<uint32_t> user = origin.identify ? origin.identify().user : std::nullopt;
  bool refused = false;
  data.env->KillProcessIf(pid, [&] {
    refused = !MayKillProcess(data, user, pid);
    return !refused;
  });
  if (refused) {
    LogMessage("Refused disconnection request from user %s for pid %i",
               UserDescription(user).c_str(), pid);
    return;
  }
  LogMessage("Killed -9 pid %i", pid);
}

void HandleAgentAlive(ServerData& data, const RequestOrigin& origin) {
  // Without a guard there is nothing to tell, and no reason to look the
  // sender up.
  if (!data.agent_alive || !origin.identify_process) return;
  if (auto sender = origin.identify_process()) data.agent_alive(sender->pid, sender->user);
}

}  // namespace corvane
