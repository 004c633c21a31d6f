// A moment on the monotonic clock that waits are measured against, so a
// change of the wall clock cannot stretch or cut a time-out.
#pragma once

#include <algorithm>
#include <chrono>

namespace corvane {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  static Deadline After(double seconds) {
    return Deadline(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(seconds)));
  }

  bool Passed() const { return Clock::now() >= when_; }
  // Milliseconds left, rounded up so a wait never ends just short of the
  // deadline; 0 once it has passed.
  int RemainingMilliseconds() const {
    auto left = when_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
  }

 private:
  explicit Deadline(Clock::time_point when) : when_(when) {}
  Clock::time_point when_;
};

}  // namespace corvane
