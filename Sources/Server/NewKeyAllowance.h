// How many new statistics keys (users, applications) each peer may still
// create: a few a minute, as many as an agent meets in normal use, so that a
// flood of frames with fresh names cannot grow stats.plist without bound.
// Minutes for keys that exist are never limited.
#pragma once

#include <string>
#include <unordered_map>

namespace corvane {

inline constexpr int kNewKeysPerMinute = 20;

class NewKeyAllowance {
 public:
  // Takes `keys` from what `peer` may create at `now` (seconds, any clock
  // that moves forward); false, taking nothing, when fewer are left.
  bool Take(const std::string& peer, int keys, double now);

 private:
  struct Bucket {
    double left = kNewKeysPerMinute;
    double at = 0;
  };
  std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace corvane
