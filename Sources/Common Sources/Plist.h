// Property-list values: boolean, integer, real, string, date, data, array and
// dictionary. A dictionary keeps its keys in insertion order (the order read
// from a file, or the order of first setting). Values are plain, copyable and
// mutable in place; whoever holds one owns it.
//
// The server keeps a year of statistics per user and application in these
// trees, so a value is 16 bytes (numbers, booleans and dates inline, other
// types behind one pointer) and a key of up to 15 bytes needs no allocation.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

// A dictionary key: text of up to 15 bytes is stored inline.
class PlistKey {
 public:
  PlistKey() { Clear(); }
  PlistKey(std::string_view text);  // NOLINT: keys are written as text
  PlistKey(const std::string& text) : PlistKey(std::string_view(text)) {}
  PlistKey(const char* text) : PlistKey(std::string_view(text)) {}
  PlistKey(const PlistKey& other) : PlistKey(other.view()) {}
  PlistKey(PlistKey&& other) noexcept;
  PlistKey& operator=(const PlistKey& other);
  PlistKey& operator=(PlistKey&& other) noexcept;
  ~PlistKey();

  std::string_view view() const;
  operator std::string_view() const { return view(); }  // NOLINT
  std::string str() const { return std::string(view()); }
  size_t size() const { return view().size(); }

  friend bool operator==(const PlistKey& a, std::string_view b) { return a.view() == b; }

 private:
  static constexpr size_t kInline = 15;
  static constexpr uint8_t kOnHeap = 0xFF;
  bool OnHeap() const { return static_cast<uint8_t>(bytes_[kInline]) == kOnHeap; }
  void Clear() { bytes_[kInline] = 0; }
  // Inline: the text, then its length in the last byte. On the heap: the
  // pointer, then the 32-bit length, and kOnHeap in the last byte.
  char bytes_[16];
};

std::ostream& operator<<(std::ostream& out, const PlistKey& key);

class PlistDictionary {
 public:
  using Entry = std::pair<PlistKey, Plist>;

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
  // Position of `key` in entries(), -1 when absent.
  long FindIndex(std::string_view key) const;
  // Replaces the value of an existing key in place, else appends.
  Plist& Set(PlistKey key, Plist value);
  bool Remove(std::string_view key);
  // Gives back the room kept for growth (after loading a file).
  void ShrinkToFit();

  bool operator==(const PlistDictionary& other) const;

 private:
  void RebuildIndex(size_t slots);
  void IndexEntry(size_t i);

  std::vector<Entry> entries_;
  // Open-addressing table of positions in entries_, built once a dictionary
  // is large (the statistics have a key per day), so small ones stay cheap.
  std::unique_ptr<uint32_t[]> index_;
  uint32_t index_slots_ = 0;  // a power of two, or 0 for no table
};

class Plist {
 public:
  enum class Type : uint8_t { kBoolean, kInteger, kReal, kString, kDate, kData, kArray, kDictionary };

  Plist();  // an empty dictionary
  Plist(const Plist& other);
  Plist(Plist&& other) noexcept : payload_(other.payload_), type_(other.type_),
      width_(other.width_), is_unsigned_(other.is_unsigned_) {
    other.type_ = Type::kBoolean;  // nothing left to free
  }
  Plist& operator=(const Plist& other);
  Plist& operator=(Plist&& other) noexcept;
  ~Plist() { Free(); }

  static Plist Boolean(bool b);
  // Truncates `v` to `width` bits (8, 16, 32 or 64), as a stored number of
  // that width would be.
  static Plist Integer(int64_t v, int width = 64);
  static Plist UnsignedInteger(uint64_t v);
  static Plist Real(double d);
  static Plist String(std::string s);
  static Plist Date(double absolute_time);
  static Plist Data(PlistData d);
  static Plist Array(PlistArray a = {});
  static Plist Dictionary(PlistDictionary d = {});

  Type type() const { return type_; }
  bool IsDictionary() const { return type_ == Type::kDictionary; }
  bool IsArray() const { return type_ == Type::kArray; }

  // Typed access; none when the value is of another type.
  const PlistDictionary* AsDictionary() const { return Is(Type::kDictionary) ? payload_.dict : nullptr; }
  PlistDictionary* AsDictionary() { return Is(Type::kDictionary) ? payload_.dict : nullptr; }
  const PlistArray* AsArray() const { return Is(Type::kArray) ? payload_.array : nullptr; }
  PlistArray* AsArray() { return Is(Type::kArray) ? payload_.array : nullptr; }
  const std::string* AsString() const { return Is(Type::kString) ? payload_.string : nullptr; }
  std::optional<PlistInteger> AsInteger() const {
    if (!Is(Type::kInteger)) return std::nullopt;
    return PlistInteger{payload_.integer, width_, is_unsigned_};
  }
  const double* AsReal() const { return Is(Type::kReal) ? &payload_.real : nullptr; }
  const bool* AsBoolean() const { return Is(Type::kBoolean) ? &payload_.boolean : nullptr; }
  const PlistDate* AsDate() const { return Is(Type::kDate) ? &payload_.date : nullptr; }
  const PlistData* AsData() const { return Is(Type::kData) ? payload_.data : nullptr; }

  bool operator==(const Plist& other) const;

 private:
  union Payload {
    Payload() : integer(0) {}
    bool boolean;
    int64_t integer;
    double real;
    PlistDate date;
    std::string* string;
    PlistData* data;
    PlistArray* array;
    PlistDictionary* dict;
  };
  explicit Plist(Type type) : type_(type) { payload_.integer = 0; }
  bool Is(Type t) const { return type_ == t; }
  void Free() noexcept;

  Payload payload_;
  Type type_;
  uint8_t width_ = 64;
  bool is_unsigned_ = false;
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
