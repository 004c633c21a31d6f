// Feeds arbitrary bytes to DispatchCommand the way a connection does (frame
// by frame) over in-memory trees, and checks what must hold whatever comes:
// replies are valid plists, both trees stay savable dictionaries, no kill
// reaches a pid the server refuses or a process the peer does not own, and
// a peer that is no admin changes no setting: its SaveCredit changes
// nothing, and the rest only moves "Credit" and "NextAutoUpdate" of entries
// that exist; what a save would write from the XML kept per user is
// exactly the whole tree's XML.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "AbsoluteTime.h"
#include "AppSettings.h"
#include "DispatchCommand.h"
#include "PlistXml.h"
#include "ServerEnv.h"
#include "ServerLog.h"
#include "SettingsAndStats.h"
#include "WireCodec.h"

using namespace corvane;

namespace {

void CheckKeptXml(SerializedTree& kept, const Plist& tree) {
  std::vector<std::string_view> pieces;
  std::string whole, joined;
  bool whole_ok = SerializePlistXml(tree, &whole);
  if (kept.Document(tree, &pieces) != whole_ok) std::abort();
  for (std::string_view piece : pieces) joined.append(piece);
  if (whole_ok && joined != whole) std::abort();
}

constexpr uint32_t kAdminUser = 1000, kChildUser = 65534;

// Owners of the pretend processes: every third is the child's, every fifth
// leads a login session of the child's, the rest are root's.
ProcessOwners FakeOwners(int pid) {
  ProcessOwners owners;
  owners.real_user = pid % 3 == 0 ? kChildUser : 0;
  if (pid % 5 == 0) owners.session_user = kChildUser;
  return owners;
}

// The machine as the fuzz target plays it: a fixed clock, the pretend
// owners, kills that are only checked, files and log that go nowhere.
class FakeEnv : public ServerEnv {
 public:
  std::optional<uint32_t> user;  // the peer's
  bool bad_kill = false;
  AbsoluteTime Now() override { return 787000000.0; }  // a few days after the refill moment
  Status KillProcessIf(int pid, const std::function<bool()>& allowed) override {
    if (!allowed()) return Status::IOError("not allowed", EPERM);
    ProcessOwners owners = FakeOwners(pid);
    bool owned = user == 0u || owners.real_user == user || owners.session_user == user;
    if (pid <= 1 || pid == 4242 || !owned) bad_kill = true;
    return Status::OK();
  }
  bool UserInGroup(uint32_t uid, const std::string& group) override {
    return uid == kAdminUser && group == "sudo";
  }
  ProcessOwners OwnersOfProcess(int pid) override { return FakeOwners(pid); }
  Status WriteFileAtomically(const std::string&, std::span<const std::string_view>) override {
    return Status();
  }
  FILE* OpenLogFile() override { return nullptr; }
};

struct Peer {
  RequestOrigin origin;
  std::optional<uint32_t> user;
  bool admin = false;
};

// The first byte picks the peer: bit 0 this machine (else another one),
// bits 1-2 its user (root, admin group, child, unknown), bit 3 whether a
// remote address is in "Admin addresses".
Peer MakePeer(uint8_t choice) {
  Peer p;
  bool local = (choice & 1) != 0;
  static const std::optional<uint32_t> kUsers[] = {0u, kAdminUser, kChildUser, std::nullopt};
  p.user = local ? kUsers[(choice >> 1) & 3] : std::nullopt;
  p.origin.loopback_peer = local;
  p.origin.peer = *ParseIpAddress(local ? "127.0.0.1" : (choice & 8) ? "10.1.2.3" : "192.0.2.7");
  LocalPeer identity{local, p.user};
  p.origin.identify = [identity] { return identity; };
  p.admin = local ? (p.user == 0u || p.user == kAdminUser) : (choice & 8) != 0;
  return p;
}

ServerData MakeData(FakeEnv* env) {
  ServerData data;
  data.env = env;
  AppSettings s;
  s.credit = 3;
  s.enabled = true;
  s.auto_update_value = 2;
  s.auto_update_coeff = 60;
  s.next_auto_update = 786000000;
  StoreAppSettings(data.settings.AsDictionary(), "u", "a", s);
  data.own_pid = 4242;
  data.own_uid = 0;
  data.admin.addresses = {*ParseIpRange("10.0.0.0/8")};
  return data;
}

// The settings without the two values that open commands may move.
Plist Limits(const Plist& settings) {
  PlistDictionary users;
  for (const auto& [user, apps] : settings.AsDictionary()->entries()) {
    if (!apps.IsDictionary()) {
      users.Set(user, apps);
      continue;
    }
    PlistDictionary kept;
    for (const auto& [app, entry] : apps.AsDictionary()->entries()) {
      Plist copy = entry;
      if (PlistDictionary* d = copy.AsDictionary()) {
        d->Remove(kKeyCredit);
        d->Remove(kKeyNextAutoUpdate);
      }
      kept.Set(app, std::move(copy));
    }
    users.Set(user, Plist::Dictionary(std::move(kept)));
  }
  return Plist::Dictionary(std::move(users));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static FakeEnv log_env;
  static bool quiet = [] {
    SetLogEnv(&log_env);
    SetConsoleStream(nullptr);
    return true;
  }();
  (void)quiet;
  if (size == 0) return 0;
  Peer peer = MakePeer(bytes[0]);
  std::span<const uint8_t> stream(bytes + 1, size - 1);
  FakeEnv env;
  env.user = peer.user;
  ServerData data = MakeData(&env);
  const Plist limits = Limits(data.settings);

  for (;;) {
    FrameResult frame = PeekRequestFrame(stream);
    if (frame.state != FrameState::kComplete) break;
    Plist before = peer.admin ? Plist() : data.settings;
    auto reply = DispatchCommand(data, stream.first(frame.length), peer.origin);
    if (reply) {
      auto parsed = ParsePlistXml(*reply);
      if (!parsed || !(parsed->IsDictionary() || parsed->IsArray())) std::abort();
    }
    if (env.bad_kill) std::abort();
    if (!peer.admin && stream[4] == kSaveCredit && !(data.settings == before)) std::abort();
    if (!peer.admin && !(Limits(data.settings) == limits)) std::abort();
    if (SaveIfPending(data)) {
      CheckKeptXml(data.settings_xml, data.settings);
      CheckKeptXml(data.stats_xml, data.stats);
    }
    stream = stream.subspan(frame.length);
  }
  std::string xml;
  if (!data.settings.IsDictionary() || !data.stats.IsDictionary()) std::abort();
  if (!SerializePlistXml(data.settings, &xml) || !SerializePlistXml(data.stats, &xml)) std::abort();
  return 0;
}
