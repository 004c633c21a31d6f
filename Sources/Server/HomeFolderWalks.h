// Home folder sizes measured as root, each walk in a child process whose
// result the event loop picks up, so the server goes on answering every other
// request meanwhile. One walk per user at a time: requests that come during
// it share its result. At most kMaxHomeFolderWalks users are walked at once;
// the others wait for a place.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/System/ChildTask.h"
#include "Platform/System/EventLoop.h"

namespace corvane {

inline constexpr size_t kMaxHomeFolderWalks = 4;
// A walk still running then is stopped and answers none.
inline constexpr double kMaxHomeFolderWalkSeconds = 600;

using HomeFolderSizeCallback = std::function<void(std::optional<uint64_t> bytes)>;

class HomeFolderWalks {
 public:
  explicit HomeFolderWalks(EventLoop& loop) : loop_(loop) {}
  // Stops the walks; their callbacks are not called.
  ~HomeFolderWalks() = default;
  HomeFolderWalks(const HomeFolderWalks&) = delete;
  HomeFolderWalks& operator=(const HomeFolderWalks&) = delete;

  // Calls `done`, always from a later turn of the loop, with the size of the
  // home folder of `uid` as the password database names it: every file
  // counted whatever its permissions, links not followed, other file systems
  // left out, each hard-linked file once. None when the account has no
  // entry or the walk failed or took too long.
  void Measure(uint32_t uid, HomeFolderSizeCallback done);

 private:
  struct Walk {
    std::vector<HomeFolderSizeCallback> waiting;
    std::unique_ptr<ChildTask> task;
    std::unique_ptr<EventLoop::Source> watch, timer;
    bool running = false;  // counted in running_
  };
  void StartQueuedWalks();
  bool StartWalk(uint32_t uid, Walk& walk);
  void Finish(uint32_t uid, std::optional<uint64_t> bytes);

  EventLoop& loop_;
  std::map<uint32_t, Walk> walks_;  // running or queued
  std::deque<uint32_t> queued_;
  size_t running_ = 0;
};

}  // namespace corvane
