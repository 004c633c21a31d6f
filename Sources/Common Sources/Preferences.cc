#include "Preferences.h"

#include <map>
#include <string>

#include "Paths.h"
#include "Platform/System/FileSystem.h"
#include "PlistFile.h"

namespace corvane {
namespace {

std::map<std::string, std::optional<Plist>, std::less<>>& Pending() {
  static std::map<std::string, std::optional<Plist>, std::less<>> pending;
  return pending;
}

std::string StoreFile() { return SystemPath(kHostPreferenceFile); }

std::optional<int64_t> IntegerOf(const Plist& value) {
  if (const std::string* s = value.AsString()) return StringIntValue(*s);
  if (value.AsInteger() || value.AsReal()) return NumberValue(&value, 32);
  if (const bool* b = value.AsBoolean()) return *b ? 1 : 0;
  return std::nullopt;
}

}  // namespace

std::optional<Plist> CopyPreference(std::string_view key) {
  auto it = Pending().find(key);
  if (it != Pending().end()) return it->second;
  auto root = ReadPlistFile(StoreFile());
  if (!root || !root->IsDictionary()) return std::nullopt;
  const Plist* value = root->AsDictionary()->Find(key);
  if (value == nullptr) return std::nullopt;
  return *value;
}

void SetPreference(std::string_view key, std::optional<Plist> value) {
  Pending().insert_or_assign(std::string(key), std::move(value));
}

bool SynchronizePreferences() {
  auto& pending = Pending();
  if (pending.empty()) return true;
  std::string path = StoreFile();
  if (!CreateFolders(path.substr(0, path.rfind('/'))).ok()) return false;
  auto root = ReadPlistFile(path);
  Plist dict = root && root->IsDictionary() ? std::move(*root) : Plist::Dictionary();
  for (auto& [key, value] : pending) {
    if (value) {
      dict.AsDictionary()->Set(key, *value);
    } else {
      dict.AsDictionary()->Remove(key);
    }
  }
  if (!WritePlistFile(dict, path).ok()) return false;
  pending.clear();
  return true;
}

int32_t StringIntValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > int64_t(INT32_MAX) + 1) v = int64_t(INT32_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  return static_cast<int32_t>(v);
}

bool PreferenceFlag(std::string_view key, bool default_value) {
  auto value = CopyPreference(key);
  if (!value) return default_value;
  auto n = IntegerOf(*value);
  return n ? *n != 0 : default_value;
}

std::optional<int32_t> PreferenceInteger(std::string_view key) {
  auto value = CopyPreference(key);
  if (!value) return std::nullopt;
  auto n = IntegerOf(*value);
  if (!n) return std::nullopt;
  return static_cast<int32_t>(*n);
}

}  // namespace corvane
