#include "NewKeyAllowance.h"

#include <algorithm>

namespace corvane {
namespace {

constexpr double kPerSecond = kNewKeysPerMinute / 60.0;
// Peers are forgotten once their allowance is whole again; the table is
// swept only when it has grown past this.
constexpr size_t kSweepAbove = 1024;

double Refilled(double left, double from, double now) {
  // A clock set back refills nothing.
  double elapsed = std::max(0.0, now - from);
  return std::min<double>(kNewKeysPerMinute, left + elapsed * kPerSecond);
}

}  // namespace

bool NewKeyAllowance::Take(const std::string& peer, int keys, double now) {
  if (buckets_.size() > kSweepAbove) {
    std::erase_if(buckets_, [now](const auto& entry) {
      return Refilled(entry.second.left, entry.second.at, now) >= kNewKeysPerMinute;
    });
  }
  auto [it, fresh] = buckets_.try_emplace(peer, Bucket{kNewKeysPerMinute, now});
  Bucket& bucket = it->second;
  bucket.left = Refilled(bucket.left, bucket.at, now);
  bucket.at = now;
  if (bucket.left < keys) return false;
  bucket.left -= keys;
  return true;
}

}  // namespace corvane
