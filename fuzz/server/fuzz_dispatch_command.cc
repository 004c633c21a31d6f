// Feeds arbitrary bytes to DispatchCommand the way a connection does (frame
// by frame) over in-memory trees, and checks what must hold whatever comes:
// replies are valid plists, both trees stay savable dictionaries, what a
// save would write from the XML kept per user is exactly the whole tree's
// XML, and no kill reaches a pid the server refuses.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "AbsoluteTime.h"
#include "AppSettings.h"
#include "DispatchCommand.h"
#include "PlistXml.h"
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

ServerData MakeData(bool* killed_bad_pid) {
  ServerData data;
  AppSettings s;
  s.Credit = 3;
  s.Enabled = true;
  s.AutoUpdateValue = 2;
  s.AutoUpdateCoeff = 60;
  s.NextAutoUpdate = 786000000;
  StoreAppSettings(data.settings.AsDictionary(), "u", "a", s);
  data.now = [] { return 787000000.0; };  // a few days after the refill moment
  data.own_pid = 4242;
  data.save = [](ServerData& d) {
    CheckKeptXml(d.settings_xml, d.settings);
    CheckKeptXml(d.stats_xml, d.stats);
  };
  data.kill_process = [killed_bad_pid](int pid) {
    if (pid <= 1 || pid == 4242) *killed_bad_pid = true;
    return 0;
  };
  return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static bool quiet = [] {
    DisableLogFileForTesting();
    SetConsoleStream(nullptr);
    return true;
  }();
  (void)quiet;
  if (size == 0) return 0;
  // The first byte says whether the peer is this machine.
  RequestOrigin origin{(bytes[0] & 1) != 0};
  std::span<const uint8_t> stream(bytes + 1, size - 1);
  bool killed_bad_pid = false;
  ServerData data = MakeData(&killed_bad_pid);

  for (;;) {
    FrameResult frame = PeekRequestFrame(stream);
    if (frame.state != FrameState::kComplete) break;
    auto reply = DispatchCommand(data, stream.first(frame.length), origin);
    if (reply) {
      auto parsed = ParsePlistXml(*reply);
      if (!parsed || !(parsed->IsDictionary() || parsed->IsArray())) std::abort();
    }
    if (killed_bad_pid) std::abort();
    SaveIfPending(data);
    stream = stream.subspan(frame.length);
  }
  std::string xml;
  if (!data.settings.IsDictionary() || !data.stats.IsDictionary()) std::abort();
  if (!SerializePlistXml(data.settings, &xml) || !SerializePlistXml(data.stats, &xml)) std::abort();
  return 0;
}
