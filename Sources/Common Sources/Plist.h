// Property-list values: boolean, integer, real, string, date, data, array and
// dictionary. A dictionary keeps its keys in insertion order (the order read
// from a file, or the order of first setting). Values are plain, copyable and
// mutable in place; whoever holds one owns it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace corvane {

class Plist;
using PlistArray = std::vector<Plist>;
using PlistData = std::vector<uint8_t>;

// An integer keeps the width it was stored with (8, 16, 32 or 64 bits); the
// value has already been truncated to that width. Values above INT64_MAX,
// which XML plists allow up to 2^64 - 1, are kept with is_unsigned set.
struct PlistInteger {
  int64_t value = 0;
  uint8_t width = 64;
  bool is_unsigned = false;
  // Equal values are equal whatever width they were stored with.
  bool operator==(const PlistInteger& o) const {
    return value == o.value && is_unsigned == o.is_unsigned;
  }
};

struct PlistDate {
  double absolute_time = 0;  // seconds since 2001-01-01 00:00:00 UTC
  bool operator==(const PlistDate&) const = default;
};

class PlistDictionary {
 public:
  using Entry = std::pair<std::string, Plist>;

  PlistDictionary();
  PlistDictionary(const PlistDictionary&);
  PlistDictionary(PlistDictionary&&) noexcept;
  PlistDictionary& operator=(const PlistDictionary&);
  PlistDictionary& operator=(PlistDictionary&&) noexcept;
  ~PlistDictionary();

  size_t size() const;
  bool empty() const;
  const std::vector<Entry>& entries() const { return entries_; }

  // Borrowed pointers, valid until the dictionary changes shape.
  const Plist* Find(std::string_view key) const;
  Plist* Find(std::string_view key);
  // Replaces the value of an existing key in place, else appends.
  Plist& Set(std::string key, Plist value);
  bool Remove(std::string_view key);

  bool operator==(const PlistDictionary& other) const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  void RebuildIndex();
  long FindIndex(std::string_view key) const;

  std::vector<Entry> entries_;
  // Built once a dictionary is large (the statistics have a key per day), so
  // small dictionaries stay cheap.
  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> index_;
};

class Plist {
 public:
  enum class Type { kBoolean, kInteger, kReal, kString, kDate, kData, kArray, kDictionary };

  Plist() : value_(PlistDictionary()) {}  // an empty dictionary
  static Plist Boolean(bool b) { return Plist(b); }
  // Truncates `v` to `width` bits (8, 16, 32 or 64), as a stored number of
  // that width would be.
  static Plist Integer(int64_t v, int width = 64);
  static Plist UnsignedInteger(uint64_t v);
  static Plist Real(double d) { return Plist(d); }
  static Plist String(std::string s) { return Plist(std::move(s)); }
  static Plist Date(double absolute_time) { return Plist(PlistDate{absolute_time}); }
  static Plist Data(PlistData d) { return Plist(std::move(d)); }
  static Plist Array(PlistArray a = {}) { return Plist(std::move(a)); }
  static Plist Dictionary(PlistDictionary d = {}) { return Plist(std::move(d)); }

  Type type() const { return static_cast<Type>(value_.index()); }
  bool IsDictionary() const { return type() == Type::kDictionary; }
  bool IsArray() const { return type() == Type::kArray; }

  // Typed access; nullptr when the value is of another type.
  const PlistDictionary* AsDictionary() const { return std::get_if<PlistDictionary>(&value_); }
  PlistDictionary* AsDictionary() { return std::get_if<PlistDictionary>(&value_); }
  const PlistArray* AsArray() const { return std::get_if<PlistArray>(&value_); }
  PlistArray* AsArray() { return std::get_if<PlistArray>(&value_); }
  const std::string* AsString() const { return std::get_if<std::string>(&value_); }
  const PlistInteger* AsInteger() const { return std::get_if<PlistInteger>(&value_); }
  const double* AsReal() const { return std::get_if<double>(&value_); }
  const bool* AsBoolean() const { return std::get_if<bool>(&value_); }
  const PlistDate* AsDate() const { return std::get_if<PlistDate>(&value_); }
  const PlistData* AsData() const { return std::get_if<PlistData>(&value_); }

  bool operator==(const Plist& other) const;

 private:
  template <typename T>
  explicit Plist(T v) : value_(std::move(v)) {}
  std::variant<bool, PlistInteger, double, std::string, PlistDate, PlistData, PlistArray,
               PlistDictionary>
      value_;
};

// Defined here, where Plist is complete: the entries' pair type needs it.
inline size_t PlistDictionary::size() const { return entries_.size(); }
inline bool PlistDictionary::empty() const { return entries_.empty(); }

// The platform's number and boolean conversions: a value of another type
// reads as the failure value (0 or false), never as an error.
// Integer of `width` bits, truncated as a narrowing conversion does; a real is
// truncated toward zero (0 when out of range or not a number).
int64_t NumberValue(const Plist* value, int width);
double RealNumberValue(const Plist* value);  // integer or real, else 0
bool BooleanValue(const Plist* value);       // true only for a boolean true

// Finds or creates the dictionary under `key`, replacing a value of another
// type by a new empty dictionary.
PlistDictionary& DictionaryChild(PlistDictionary& parent, std::string_view key);

}  // namespace corvane
