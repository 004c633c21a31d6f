#include "AppSettings.h"

#include <cmath>
#include <cstring>

#include "WireCodec.h"

namespace corvane {
namespace {

// Byte offsets of the packed record.
enum PackedOffset : size_t {
  kOffNextAutoUpdate = 0,
  kOffAutoUpdateValue = 4,
  kOffCredit = 8,
  kOffAutoUpdateCoeff = 12,
  kOffWdCurfewEnabled = 13,
  kOffWeCurfewEnabled = 14,
  kOffWdStart = 15,
  kOffWdStop = 19,
  kOffWeStart = 23,
  kOffWeStop = 27,
  kOffEnabled = 31,
  kOffReportCredit = 32,
  kOffWeCoeff = 33,
  kOffWeValue = 34,
  kOffDqEnabled = 38,
  kOffDqValue = 39,
};

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

}  // namespace

void ReadAppSettings(const Plist* dict, AppSettings* out) {
  if (dict == nullptr || out == nullptr || !dict->IsDictionary()) return;
  const PlistDictionary& d = *dict->AsDictionary();
  AppSettings s;
  ReadKey(d, kKeyNextAutoUpdate, &s.next_auto_update);
  ReadKey(d, kKeyCredit, &s.credit);
  ReadKey(d, kKeyReportCredit, &s.report_credit);
  ReadKey(d, kKeyEnabled, &s.enabled);
  ReadKey(d, kKeyAutoUpdateCoeff, &s.auto_update_coeff);
  ReadKey(d, kKeyAutoUpdateValue, &s.auto_update_value);
  ReadKey(d, kKeyWeCoeff, &s.we_coeff);
  ReadKey(d, kKeyWeValue, &s.we_value);
  ReadKey(d, kKeyWdCurfewEnabled, &s.wd_curfew_enabled);
  ReadKey(d, kKeyWeCurfewEnabled, &s.we_curfew_enabled);
  ReadKey(d, kKeyWdStart, &s.wd_start);
  s.wd_stop = kDefaultWindowStop;
  ReadKey(d, kKeyWdStop, &s.wd_stop);
  ReadKey(d, kKeyWeStart, &s.we_start);
  s.we_stop = kDefaultWindowStop;
  ReadKey(d, kKeyWeStop, &s.we_stop);
  ReadKey(d, kKeyDqEnabled, &s.dq_enabled);
  ReadKey(d, kKeyDqValue, &s.dq_value);
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
  d.Set(std::string(kKeyNextAutoUpdate), Plist::Real(s.next_auto_update));
  d.Set(std::string(kKeyCredit), Plist::Integer(s.credit, 32));
  d.Set(std::string(kKeyReportCredit), Plist::Boolean(s.report_credit));
  d.Set(std::string(kKeyEnabled), Plist::Boolean(s.enabled));
  d.Set(std::string(kKeyAutoUpdateCoeff), Plist::Integer(s.auto_update_coeff, 8));
  d.Set(std::string(kKeyAutoUpdateValue), Plist::Integer(s.auto_update_value, 32));
  d.Set(std::string(kKeyWeCoeff), Plist::Integer(s.we_coeff, 8));
  d.Set(std::string(kKeyWeValue), Plist::Integer(s.we_value, 32));
  d.Set(std::string(kKeyWdCurfewEnabled), Plist::Boolean(s.wd_curfew_enabled));
  d.Set(std::string(kKeyWeCurfewEnabled), Plist::Boolean(s.we_curfew_enabled));
  d.Set(std::string(kKeyWdStart), Plist::Integer(s.wd_start, 32));
  d.Set(std::string(kKeyWdStop), Plist::Integer(s.wd_stop, 32));
  d.Set(std::string(kKeyWeStart), Plist::Integer(s.we_start, 32));
  d.Set(std::string(kKeyWeStop), Plist::Integer(s.we_stop, 32));
  d.Set(std::string(kKeyDqEnabled), Plist::Boolean(s.dq_enabled));
  d.Set(std::string(kKeyDqValue), Plist::Integer(s.dq_value, 32));
}

void AppendPackedSettings(const AppSettings& s, std::vector<uint8_t>* buffer) {
  uint8_t rec[kPackedSettingsSize] = {};
  auto put32 = [&rec](size_t at, uint32_t v) { StoreLittleEndian32(v, rec + at); };
  put32(kOffNextAutoUpdate, TruncatedLow32(s.next_auto_update));
  put32(kOffAutoUpdateValue, static_cast<uint32_t>(s.auto_update_value));
  put32(kOffCredit, static_cast<uint32_t>(s.credit));
  rec[kOffAutoUpdateCoeff] = static_cast<uint8_t>(s.auto_update_coeff);
  rec[kOffWdCurfewEnabled] = s.wd_curfew_enabled;
  rec[kOffWeCurfewEnabled] = s.we_curfew_enabled;
  put32(kOffWdStart, static_cast<uint32_t>(s.wd_start));
  put32(kOffWdStop, static_cast<uint32_t>(s.wd_stop));
  put32(kOffWeStart, static_cast<uint32_t>(s.we_start));
  put32(kOffWeStop, static_cast<uint32_t>(s.we_stop));
  rec[kOffEnabled] = s.enabled;
  rec[kOffReportCredit] = s.report_credit;
  rec[kOffWeCoeff] = static_cast<uint8_t>(s.we_coeff);
  put32(kOffWeValue, static_cast<uint32_t>(s.we_value));
  rec[kOffDqEnabled] = s.dq_enabled;
  put32(kOffDqValue, static_cast<uint32_t>(s.dq_value));
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
  auto get32 = [rec](size_t at) { return static_cast<int32_t>(LoadLittleEndian32(rec + at)); };
  AppSettings s;
  s.next_auto_update = static_cast<double>(LoadLittleEndian32(rec + kOffNextAutoUpdate));
  s.auto_update_value = get32(kOffAutoUpdateValue);
  s.credit = get32(kOffCredit);
  s.auto_update_coeff = static_cast<int8_t>(rec[kOffAutoUpdateCoeff]);
  // A bool byte is true when not zero, whatever its exact value.
  s.wd_curfew_enabled = rec[kOffWdCurfewEnabled] != 0;
  s.we_curfew_enabled = rec[kOffWeCurfewEnabled] != 0;
  s.wd_start = get32(kOffWdStart);
  s.wd_stop = get32(kOffWdStop);
  s.we_start = get32(kOffWeStart);
  s.we_stop = get32(kOffWeStop);
  s.enabled = rec[kOffEnabled] != 0;
  s.report_credit = rec[kOffReportCredit] != 0;
  s.we_coeff = static_cast<int8_t>(rec[kOffWeCoeff]);
  s.we_value = get32(kOffWeValue);
  s.dq_enabled = rec[kOffDqEnabled] != 0;
  s.dq_value = get32(kOffDqValue);
  *out = s;
  return true;
}

}  // namespace corvane
