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
  ReadKey(d, kKeyNextAutoUpdate, &s.NextAutoUpdate);
  ReadKey(d, kKeyCredit, &s.Credit);
  ReadKey(d, kKeyReportCredit, &s.ReportCredit);
  ReadKey(d, kKeyEnabled, &s.Enabled);
  ReadKey(d, kKeyAutoUpdateCoeff, &s.AutoUpdateCoeff);
  ReadKey(d, kKeyAutoUpdateValue, &s.AutoUpdateValue);
  ReadKey(d, kKeyWeCoeff, &s.WeCoeff);
  ReadKey(d, kKeyWeValue, &s.WeValue);
  ReadKey(d, kKeyWdCurfewEnabled, &s.WdCurfewEnabled);
  ReadKey(d, kKeyWeCurfewEnabled, &s.WeCurfewEnabled);
  ReadKey(d, kKeyWdStart, &s.WdStart);
  s.WdStop = kDefaultWindowStop;
  ReadKey(d, kKeyWdStop, &s.WdStop);
  ReadKey(d, kKeyWeStart, &s.WeStart);
  s.WeStop = kDefaultWindowStop;
  ReadKey(d, kKeyWeStop, &s.WeStop);
  ReadKey(d, kKeyDqEnabled, &s.DqEnabled);
  ReadKey(d, kKeyDqValue, &s.DqValue);
  if (s.AutoUpdateCoeff != 60) s.AutoUpdateCoeff = 1;
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
  d.Set(std::string(kKeyNextAutoUpdate), Plist::Real(s.NextAutoUpdate));
  d.Set(std::string(kKeyCredit), Plist::Integer(s.Credit, 32));
  d.Set(std::string(kKeyReportCredit), Plist::Boolean(s.ReportCredit));
  d.Set(std::string(kKeyEnabled), Plist::Boolean(s.Enabled));
  d.Set(std::string(kKeyAutoUpdateCoeff), Plist::Integer(s.AutoUpdateCoeff, 8));
  d.Set(std::string(kKeyAutoUpdateValue), Plist::Integer(s.AutoUpdateValue, 32));
  d.Set(std::string(kKeyWeCoeff), Plist::Integer(s.WeCoeff, 8));
  d.Set(std::string(kKeyWeValue), Plist::Integer(s.WeValue, 32));
  d.Set(std::string(kKeyWdCurfewEnabled), Plist::Boolean(s.WdCurfewEnabled));
  d.Set(std::string(kKeyWeCurfewEnabled), Plist::Boolean(s.WeCurfewEnabled));
  d.Set(std::string(kKeyWdStart), Plist::Integer(s.WdStart, 32));
  d.Set(std::string(kKeyWdStop), Plist::Integer(s.WdStop, 32));
  d.Set(std::string(kKeyWeStart), Plist::Integer(s.WeStart, 32));
  d.Set(std::string(kKeyWeStop), Plist::Integer(s.WeStop, 32));
  d.Set(std::string(kKeyDqEnabled), Plist::Boolean(s.DqEnabled));
  d.Set(std::string(kKeyDqValue), Plist::Integer(s.DqValue, 32));
}

void AppendPackedSettings(const AppSettings& s, std::vector<uint8_t>* buffer) {
  uint8_t rec[kPackedSettingsSize] = {};
  auto put32 = [&rec](size_t at, uint32_t v) { StoreLittleEndian32(v, rec + at); };
  put32(kOffNextAutoUpdate, TruncatedLow32(s.NextAutoUpdate));
  put32(kOffAutoUpdateValue, static_cast<uint32_t>(s.AutoUpdateValue));
  put32(kOffCredit, static_cast<uint32_t>(s.Credit));
  rec[kOffAutoUpdateCoeff] = static_cast<uint8_t>(s.AutoUpdateCoeff);
  rec[kOffWdCurfewEnabled] = s.WdCurfewEnabled;
  rec[kOffWeCurfewEnabled] = s.WeCurfewEnabled;
  put32(kOffWdStart, static_cast<uint32_t>(s.WdStart));
  put32(kOffWdStop, static_cast<uint32_t>(s.WdStop));
  put32(kOffWeStart, static_cast<uint32_t>(s.WeStart));
  put32(kOffWeStop, static_cast<uint32_t>(s.WeStop));
  rec[kOffEnabled] = s.Enabled;
  rec[kOffReportCredit] = s.ReportCredit;
  rec[kOffWeCoeff] = static_cast<uint8_t>(s.WeCoeff);
  put32(kOffWeValue, static_cast<uint32_t>(s.WeValue));
  rec[kOffDqEnabled] = s.DqEnabled;
  put32(kOffDqValue, static_cast<uint32_t>(s.DqValue));
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
  s.NextAutoUpdate = static_cast<double>(LoadLittleEndian32(rec + kOffNextAutoUpdate));
  s.AutoUpdateValue = get32(kOffAutoUpdateValue);
  s.Credit = get32(kOffCredit);
  s.AutoUpdateCoeff = static_cast<int8_t>(rec[kOffAutoUpdateCoeff]);
  // A bool byte is true when not zero, whatever its exact value.
  s.WdCurfewEnabled = rec[kOffWdCurfewEnabled] != 0;
  s.WeCurfewEnabled = rec[kOffWeCurfewEnabled] != 0;
  s.WdStart = get32(kOffWdStart);
  s.WdStop = get32(kOffWdStop);
  s.WeStart = get32(kOffWeStart);
  s.WeStop = get32(kOffWeStop);
  s.Enabled = rec[kOffEnabled] != 0;
  s.ReportCredit = rec[kOffReportCredit] != 0;
  s.WeCoeff = static_cast<int8_t>(rec[kOffWeCoeff]);
  s.WeValue = get32(kOffWeValue);
  s.DqEnabled = rec[kOffDqEnabled] != 0;
  s.DqValue = get32(kOffDqValue);
  *out = s;
  return true;
}

}  // namespace corvane
