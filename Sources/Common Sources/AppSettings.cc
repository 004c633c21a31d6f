#include "AppSettings.h"

#include <cmath>
#include <cstring>

#include "WireCodec.h"

namespace corvane {
namespace {

template <typename T>
void ReadKey(const PlistDictionary& d, std::string_view key, T* field) {
  const Plist* v = d.Find(key);
  if (v == nullptr) return;
  if constexpr (std::is_same_v<T, bool>) {
    *field = BooleanValue(v);
  } else if constexpr (std::is_same_v<T, double>) {
    *field = RealNumberValue(v);
  } else {
    *field = static_cast<T>(NumberValue(v, sizeof(T) * 8));
  }
}

uint32_t TruncatedLow32(double t) {
  // Truncation toward zero to 64 bits; a value no 64-bit integer holds has
  // no meaningful low word and packs as 0.
  if (!std::isfinite(t) || t >= 9.2e18 || t <= -9.2e18) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(t)));
}

// One field of the packed record, its width given by its type.
void PutPacked(uint8_t* at, double v) { StoreLittleEndian32(TruncatedLow32(v), at); }
void PutPacked(uint8_t* at, int32_t v) { StoreLittleEndian32(static_cast<uint32_t>(v), at); }
void PutPacked(uint8_t* at, int8_t v) { *at = static_cast<uint8_t>(v); }
void PutPacked(uint8_t* at, bool v) { *at = v; }

void GetPacked(const uint8_t* at, double* v) { *v = static_cast<double>(LoadLittleEndian32(at)); }
void GetPacked(const uint8_t* at, int32_t* v) { *v = static_cast<int32_t>(LoadLittleEndian32(at)); }
void GetPacked(const uint8_t* at, int8_t* v) { *v = static_cast<int8_t>(*at); }
// A bool byte is true when not zero, whatever its exact value.
void GetPacked(const uint8_t* at, bool* v) { *v = *at != 0; }

Plist StoredValue(double v) { return Plist::Real(v); }
Plist StoredValue(int32_t v) { return Plist::Integer(v, 32); }
Plist StoredValue(int8_t v) { return Plist::Integer(v, 8); }
Plist StoredValue(bool v) { return Plist::Boolean(v); }

constexpr size_t PackedWidth(double) { return 4; }
constexpr size_t PackedWidth(int32_t) { return 4; }
constexpr size_t PackedWidth(int8_t) { return 1; }
constexpr size_t PackedWidth(bool) { return 1; }

// The offsets of the field list tile the record with neither gap nor overlap.
constexpr bool PackedLayoutIsTight() {
  bool used[kPackedSettingsSize] = {};
  size_t total = 0;
  auto claim = [&](size_t offset, size_t width) {
    for (size_t i = offset; i < offset + width; ++i) {
      if (i >= kPackedSettingsSize || used[i]) return false;
      used[i] = true;
    }
    total += width;
    return true;
  };
  bool ok = true;
#define CORVANE_CLAIM(name, member, key, type, read_default, offset) \
  ok = ok && claim(offset, PackedWidth(type{}));
  CORVANE_APP_SETTINGS_FIELDS(CORVANE_CLAIM)
#undef CORVANE_CLAIM
  return ok && total == kPackedSettingsSize;
}
static_assert(PackedLayoutIsTight());

}  // namespace

void ReadAppSettings(const Plist* dict, AppSettings* out) {
  if (dict == nullptr || out == nullptr || !dict->IsDictionary()) return;
  const PlistDictionary& d = *dict->AsDictionary();
  AppSettings s;
#define CORVANE_READ(name, member, key, type, read_default, offset) \
  s.member = read_default;                                   \
  ReadKey(d, kKey##name, &s.member);
  CORVANE_APP_SETTINGS_FIELDS(CORVANE_READ)
#undef CORVANE_READ
  if (s.auto_update_coeff != 60) s.auto_update_coeff = 1;
  *out = s;
}

const Plist* FindAppSettings(const PlistDictionary& settings, std::string_view user,
                             std::string_view app) {
  const Plist* u = settings.Find(user);
  if (u == nullptr || !u->IsDictionary()) return nullptr;
  return u->AsDictionary()->Find(app);
}

Plist* FindAppSettings(PlistDictionary& settings, std::string_view user, std::string_view app) {
  Plist* u = settings.Find(user);
  if (u == nullptr || !u->IsDictionary()) return nullptr;
  return u->AsDictionary()->Find(app);
}

void StoreAppSettings(PlistDictionary* settings, std::string_view user, std::string_view app,
                      const AppSettings& s) {
  if (settings == nullptr) return;
  PlistDictionary& d = DictionaryChild(DictionaryChild(*settings, user), app);
#define CORVANE_STORE(name, member, key, type, read_default, offset) \
  d.Set(std::string(kKey##name), StoredValue(s.member));
  CORVANE_APP_SETTINGS_FIELDS(CORVANE_STORE)
#undef CORVANE_STORE
}

void AppendPackedSettings(const AppSettings& s, std::vector<uint8_t>* buffer) {
  uint8_t rec[kPackedSettingsSize] = {};
#define CORVANE_PACK(name, member, key, type, read_default, offset) \
  PutPacked(rec + offset, s.member);
  CORVANE_APP_SETTINGS_FIELDS(CORVANE_PACK)
#undef CORVANE_PACK
  buffer->insert(buffer->end(), rec, rec + kPackedSettingsSize);
}

std::vector<uint8_t> PackAppSettings(std::string_view user, std::string_view app,
                                     const AppSettings& s) {
  std::vector<uint8_t> payload;
  AppendStringField(&payload, user);
  AppendStringField(&payload, app);
  AppendPackedSettings(s, &payload);
  return payload;
}

bool UnpackAppSettings(std::span<const uint8_t> buffer, size_t offset, AppSettings* out) {
  if (offset > buffer.size() || buffer.size() - offset < kPackedSettingsSize) return false;
  const uint8_t* rec = buffer.data() + offset;
  AppSettings s;
#define CORVANE_UNPACK(name, member, key, type, read_default, offset) \
  GetPacked(rec + offset, &s.member);
  CORVANE_APP_SETTINGS_FIELDS(CORVANE_UNPACK)
#undef CORVANE_UNPACK
  *out = s;
  return true;
}

}  // namespace corvane
