#include "Plist.h"

#include <cassert>
#include <cmath>
#include <limits>

namespace corvane {
namespace {

constexpr size_t kIndexThreshold = 16;

int64_t Truncate(int64_t v, int width) {
  switch (width) {
    case 8: return static_cast<int8_t>(static_cast<uint8_t>(v));
    case 16: return static_cast<int16_t>(static_cast<uint16_t>(v));
    case 32: return static_cast<int32_t>(static_cast<uint32_t>(v));
    default: return v;
  }
}

}  // namespace

PlistDictionary::PlistDictionary() = default;
PlistDictionary::PlistDictionary(const PlistDictionary&) = default;
PlistDictionary::PlistDictionary(PlistDictionary&&) noexcept = default;
PlistDictionary& PlistDictionary::operator=(const PlistDictionary&) = default;
PlistDictionary& PlistDictionary::operator=(PlistDictionary&&) noexcept = default;
PlistDictionary::~PlistDictionary() = default;

long PlistDictionary::FindIndex(std::string_view key) const {
  if (!index_.empty()) {
    auto it = index_.find(key);
    return it == index_.end() ? -1 : static_cast<long>(it->second);
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

Plist& PlistDictionary::Set(std::string key, Plist value) {
  long i = FindIndex(key);
  if (i >= 0) {
    entries_[i].second = std::move(value);
    return entries_[i].second;
  }
  if (!index_.empty()) index_.emplace(key, entries_.size());
  entries_.emplace_back(std::move(key), std::move(value));
  if (index_.empty() && entries_.size() >= kIndexThreshold) RebuildIndex();
  return entries_.back().second;
}

bool PlistDictionary::Remove(std::string_view key) {
  long i = FindIndex(key);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  index_.clear();
  if (entries_.size() >= kIndexThreshold) RebuildIndex();
  return true;
}

void PlistDictionary::RebuildIndex() {
  index_.clear();
  index_.reserve(entries_.size() * 2);
  for (size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
  assert(index_.size() == entries_.size() && "Plist: dictionary keys must be unique");
}

bool PlistDictionary::operator==(const PlistDictionary& other) const {
  return entries_ == other.entries_;
}

Plist Plist::Integer(int64_t v, int width) {
  assert((width == 8 || width == 16 || width == 32 || width == 64) && "Plist: integer width");
  return Plist(PlistInteger{Truncate(v, width), static_cast<uint8_t>(width), false});
}

Plist Plist::UnsignedInteger(uint64_t v) {
  return Plist(PlistInteger{static_cast<int64_t>(v), 64, v > uint64_t(INT64_MAX)});
}

bool Plist::operator==(const Plist& other) const {
  if (value_.index() != other.value_.index()) return false;
  switch (type()) {
    case Type::kReal: {
      double a = *AsReal(), b = *other.AsReal();
      return a == b || (std::isnan(a) && std::isnan(b));
    }
    default: return value_ == other.value_;
  }
}

int64_t NumberValue(const Plist* value, int width) {
  if (value == nullptr) return 0;
  if (const PlistInteger* i = value->AsInteger()) return Truncate(i->value, width);
  if (const double* d = value->AsReal()) {
    if (!std::isfinite(*d) || *d >= 9.2e18 || *d <= -9.2e18) return 0;
    return Truncate(static_cast<int64_t>(*d), width);
  }
  return 0;
}

double RealNumberValue(const Plist* value) {
  if (value == nullptr) return 0;
  if (const double* d = value->AsReal()) return *d;
  if (const PlistInteger* i = value->AsInteger()) {
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
    child = &parent.Set(std::string(key), Plist::Dictionary());
  }
  return *child->AsDictionary();
}

}  // namespace corvane
