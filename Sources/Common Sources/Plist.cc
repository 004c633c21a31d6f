#include "Plist.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>

namespace corvane {
namespace {

constexpr size_t kIndexThreshold = 16;

// A day of statistics is a key and a value: two of each per cache line.
static_assert(sizeof(Plist) <= 16 && sizeof(PlistKey) == 16, "Plist: compact layout");
constexpr uint32_t kNoEntry = UINT32_MAX;

int64_t Truncate(int64_t v, int width) {
  switch (width) {
    case 8: return static_cast<int8_t>(static_cast<uint8_t>(v));
    case 16: return static_cast<int16_t>(static_cast<uint16_t>(v));
    case 32: return static_cast<int32_t>(static_cast<uint32_t>(v));
    default: return v;
  }
}

size_t HashKey(std::string_view key) { return std::hash<std::string_view>()(key); }

}  // namespace

// ---- PlistKey

PlistKey::PlistKey(std::string_view text) {
  if (text.size() <= kInline) {
    std::memcpy(bytes_, text.data(), text.size());
    bytes_[kInline] = static_cast<char>(text.size());
    return;
  }
  assert(text.size() <= UINT32_MAX && "Plist: key longer than 4 GiB");
  char* heap = new char[text.size()];
  std::memcpy(heap, text.data(), text.size());
  auto size = static_cast<uint32_t>(text.size());
  std::memcpy(bytes_, &heap, sizeof heap);
  std::memcpy(bytes_ + sizeof heap, &size, sizeof size);
  bytes_[kInline] = static_cast<char>(kOnHeap);
}

PlistKey::PlistKey(PlistKey&& other) noexcept {
  std::memcpy(bytes_, other.bytes_, sizeof bytes_);
  other.Clear();
}

PlistKey& PlistKey::operator=(const PlistKey& other) {
  if (this != &other) *this = PlistKey(other);
  return *this;
}

PlistKey& PlistKey::operator=(PlistKey&& other) noexcept {
  if (this == &other) return *this;
  this->~PlistKey();
  std::memcpy(bytes_, other.bytes_, sizeof bytes_);
  other.Clear();
  return *this;
}

PlistKey::~PlistKey() {
  if (!OnHeap()) return;
  char* heap;
  std::memcpy(&heap, bytes_, sizeof heap);
  delete[] heap;
  Clear();
}

std::string_view PlistKey::view() const {
  if (!OnHeap()) return std::string_view(bytes_, static_cast<uint8_t>(bytes_[kInline]));
  const char* heap;
  uint32_t size;
  std::memcpy(&heap, bytes_, sizeof heap);
  std::memcpy(&size, bytes_ + sizeof heap, sizeof size);
  return std::string_view(heap, size);
}

std::ostream& operator<<(std::ostream& out, const PlistKey& key) { return out << key.view(); }

// ---- PlistDictionary

PlistDictionary::PlistDictionary() = default;
PlistDictionary::PlistDictionary(PlistDictionary&& other) noexcept
    : entries_(std::move(other.entries_)), index_(std::move(other.index_)),
      index_slots_(std::exchange(other.index_slots_, 0)) {
  other.entries_.clear();
}

PlistDictionary& PlistDictionary::operator=(PlistDictionary&& other) noexcept {
  if (this == &other) return *this;
  // `other` may live inside this dictionary: it is emptied before the old
  // entries go.
  PlistDictionary taken(std::move(other));
  entries_.swap(taken.entries_);
  index_.swap(taken.index_);
  std::swap(index_slots_, taken.index_slots_);
  return *this;
}
PlistDictionary::~PlistDictionary() = default;

PlistDictionary::PlistDictionary(const PlistDictionary& other)
    : entries_(other.entries_), index_slots_(other.index_slots_) {
  if (index_slots_ == 0) return;
  index_.reset(new uint32_t[index_slots_]);
  std::memcpy(index_.get(), other.index_.get(), index_slots_ * sizeof(uint32_t));
}

PlistDictionary& PlistDictionary::operator=(const PlistDictionary& other) {
  if (this != &other) *this = PlistDictionary(other);
  return *this;
}

long PlistDictionary::FindIndex(std::string_view key) const {
  if (index_slots_ != 0) {
    const size_t mask = index_slots_ - 1;
    for (size_t slot = HashKey(key) & mask;; slot = (slot + 1) & mask) {
      uint32_t at = index_[slot];
      if (at == kNoEntry) return -1;
      if (entries_[at].first == key) return at;
    }
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].first == key) return static_cast<long>(i);
  }
  return -1;
}

const Plist* PlistDictionary::Find(std::string_view key) const {
  long i = FindIndex(key);
  return i < 0 ? nullptr : &entries_[i].second;
}

Plist* PlistDictionary::Find(std::string_view key) {
  long i = FindIndex(key);
  return i < 0 ? nullptr : &entries_[i].second;
}

Plist& PlistDictionary::Set(PlistKey key, Plist value) {
  long i = FindIndex(key);
  if (i >= 0) {
    entries_[i].second = std::move(value);
    return entries_[i].second;
  }
  assert(entries_.size() < kNoEntry && "Plist: dictionary too large to index");
  entries_.emplace_back(std::move(key), std::move(value));
  // The table stays at most three quarters full, so probes stay short.
  if (index_slots_ != 0 && entries_.size() * 4 <= size_t{index_slots_} * 3) {
    IndexEntry(entries_.size() - 1);
  } else if (entries_.size() >= kIndexThreshold) {
    RebuildIndex(entries_.size());
  }
  return entries_.back().second;
}

bool PlistDictionary::Remove(std::string_view key) {
  long i = FindIndex(key);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  if (entries_.size() >= kIndexThreshold) {
    RebuildIndex(entries_.size());
  } else {
    index_.reset();
    index_slots_ = 0;
  }
  return true;
}

void PlistDictionary::ShrinkToFit() {
  entries_.shrink_to_fit();
  if (index_slots_ != 0) RebuildIndex(entries_.size());
}

void PlistDictionary::RebuildIndex(size_t count) {
  uint32_t slots = 32;
  while (size_t{slots} * 3 < count * 4) slots *= 2;
  if (slots != index_slots_) index_.reset(new uint32_t[slots]);
  index_slots_ = slots;
  std::memset(index_.get(), 0xFF, slots * sizeof(uint32_t));
  for (size_t i = 0; i < entries_.size(); ++i) IndexEntry(i);
}

void PlistDictionary::IndexEntry(size_t i) {
  const size_t mask = index_slots_ - 1;
  size_t slot = HashKey(entries_[i].first) & mask;
  while (index_[slot] != kNoEntry) {
    assert(entries_[index_[slot]].first.view() != entries_[i].first.view() &&
           "Plist: dictionary keys must be unique");
    slot = (slot + 1) & mask;
  }
  index_[slot] = static_cast<uint32_t>(i);
}

bool PlistDictionary::operator==(const PlistDictionary& other) const {
  return entries_ == other.entries_;
}

// ---- Plist

Plist::Plist() : type_(Type::kDictionary) { payload_.dict = new PlistDictionary(); }

Plist::Plist(const Plist& other)
    : payload_(other.payload_), type_(other.type_), width_(other.width_),
      is_unsigned_(other.is_unsigned_) {
  switch (type_) {
    case Type::kString: payload_.string = new std::string(*other.payload_.string); break;
    case Type::kData: payload_.data = new PlistData(*other.payload_.data); break;
    case Type::kArray: payload_.array = new PlistArray(*other.payload_.array); break;
    case Type::kDictionary: payload_.dict = new PlistDictionary(*other.payload_.dict); break;
    default: break;
  }
}

Plist& Plist::operator=(const Plist& other) {
  if (this != &other) *this = Plist(other);
  return *this;
}

Plist& Plist::operator=(Plist&& other) noexcept {
  if (this == &other) return *this;
  // `other` may live inside this value (a child moved over its parent), so
  // it is taken before anything of ours is freed.
  Payload payload = other.payload_;
  Type type = other.type_;
  uint8_t width = other.width_;
  bool is_unsigned = other.is_unsigned_;
  other.type_ = Type::kBoolean;
  Free();
  payload_ = payload;
  type_ = type;
  width_ = width;
  is_unsigned_ = is_unsigned;
  return *this;
}

void Plist::Free() noexcept {
  switch (type_) {
    case Type::kString: delete payload_.string; break;
    case Type::kData: delete payload_.data; break;
    case Type::kArray: delete payload_.array; break;
    case Type::kDictionary: delete payload_.dict; break;
    default: break;
  }
  type_ = Type::kBoolean;
}

Plist Plist::Boolean(bool b) {
  Plist p(Type::kBoolean);
  p.payload_.boolean = b;
  return p;
}

Plist Plist::Integer(int64_t v, int width) {
  assert((width == 8 || width == 16 || width == 32 || width == 64) && "Plist: integer width");
  Plist p(Type::kInteger);
  p.payload_.integer = Truncate(v, width);
  p.width_ = static_cast<uint8_t>(width);
  return p;
}

Plist Plist::UnsignedInteger(uint64_t v) {
  Plist p(Type::kInteger);
  p.payload_.integer = static_cast<int64_t>(v);
  p.is_unsigned_ = v > uint64_t(INT64_MAX);
  return p;
}

Plist Plist::Real(double d) {
  Plist p(Type::kReal);
  p.payload_.real = d;
  return p;
}

Plist Plist::String(std::string s) {
  Plist p(Type::kString);
  p.payload_.string = new std::string(std::move(s));
  return p;
}

Plist Plist::Date(double absolute_time) {
  Plist p(Type::kDate);
  p.payload_.date = PlistDate{absolute_time};
  return p;
}

Plist Plist::Data(PlistData d) {
  Plist p(Type::kData);
  p.payload_.data = new PlistData(std::move(d));
  return p;
}

Plist Plist::Array(PlistArray a) {
  Plist p(Type::kArray);
  p.payload_.array = new PlistArray(std::move(a));
  return p;
}

Plist Plist::Dictionary(PlistDictionary d) {
  Plist p(Type::kDictionary);
  p.payload_.dict = new PlistDictionary(std::move(d));
  return p;
}

bool Plist::operator==(const Plist& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case Type::kBoolean: return payload_.boolean == other.payload_.boolean;
    case Type::kInteger: return *AsInteger() == *other.AsInteger();
    case Type::kReal: {
      double a = payload_.real, b = other.payload_.real;
      return a == b || (std::isnan(a) && std::isnan(b));
    }
    case Type::kString: return *payload_.string == *other.payload_.string;
    case Type::kDate: return payload_.date == other.payload_.date;
    case Type::kData: return *payload_.data == *other.payload_.data;
    case Type::kArray: return *payload_.array == *other.payload_.array;
    case Type::kDictionary: return *payload_.dict == *other.payload_.dict;
  }
  return false;
}

int64_t NumberValue(const Plist* value, int width) {
  if (value == nullptr) return 0;
  if (auto i = value->AsInteger()) return Truncate(i->value, width);
  if (const double* d = value->AsReal()) {
    if (!std::isfinite(*d) || *d >= 9.2e18 || *d <= -9.2e18) return 0;
    return Truncate(static_cast<int64_t>(*d), width);
  }
  return 0;
}

double RealNumberValue(const Plist* value) {
  if (value == nullptr) return 0;
  if (const double* d = value->AsReal()) return *d;
  if (auto i = value->AsInteger()) {
    return i->is_unsigned ? static_cast<double>(static_cast<uint64_t>(i->value))
                          : static_cast<double>(i->value);
  }
  return 0;
}

bool BooleanValue(const Plist* value) {
  const bool* b = value == nullptr ? nullptr : value->AsBoolean();
  return b != nullptr && *b;
}

PlistDictionary& DictionaryChild(PlistDictionary& parent, std::string_view key) {
  Plist* child = parent.Find(key);
  if (child == nullptr || !child->IsDictionary()) {
    child = &parent.Set(PlistKey(key), Plist::Dictionary());
  }
  return *child->AsDictionary();
}

}  // namespace corvane
