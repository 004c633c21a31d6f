#include "HomeFolderWalks.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "Platform/System/FolderTreeSize.h"
#include "Platform/System/UserAccount.h"
#include "ServerLog.h"

namespace corvane {
namespace {

// Runs in the child: the account is looked up there too, as the password
// database may sit behind a slow network service.
std::string WalkHomeFolder(uint32_t uid) {
  std::string home = HomeFolderOfID(uid);
  // A relative entry would be taken from wherever the server runs.
  if (home.empty() || home[0] != '/') return "";
  return std::to_string(FolderTreeSize(home, {.one_file_system = true, .hard_links_once = true}));
}

std::optional<uint64_t> ParseWalkOutput(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (errno != 0) return std::nullopt;
  return static_cast<uint64_t>(value);
}

}  // namespace

void HomeFolderWalks::Measure(uint32_t uid, HomeFolderSizeCallback done) {
  auto [it, is_new] = walks_.try_emplace(uid);
  it->second.waiting.push_back(std::move(done));
  if (!is_new) return;
  queued_.push_back(uid);
  // Never from inside the request's own handling: callers expect the answer
  // later, whatever happens.
  if (!loop_.Defer([this] { StartQueuedWalks(); })) {
    // It stays queued: the next walk that starts or ends picks it up.
    LogMessage("Cannot measure the home folder of %u now: the loop refused", uid);
  }
}

void HomeFolderWalks::StartQueuedWalks() {
  while (running_ < kMaxHomeFolderWalks && !queued_.empty()) {
    uint32_t uid = queued_.front();
    queued_.pop_front();
    auto it = walks_.find(uid);
    if (it == walks_.end()) continue;
    if (StartWalk(uid, it->second)) {
      it->second.running = true;
      ++running_;
    } else {
      LogMessage("Cannot measure the home folder of %u: no walk could be started", uid);
      Finish(uid, std::nullopt);
    }
  }
}

bool HomeFolderWalks::StartWalk(uint32_t uid, Walk& walk) {
  walk.task = ChildTask::Start([uid] { return WalkHomeFolder(uid); });
  if (!walk.task) return false;
  walk.watch = loop_.WatchFd(walk.task->fd(), EventLoop::kReadable, [this, uid](uint32_t) {
    auto it = walks_.find(uid);
    if (it == walks_.end() || !it->second.task->ReadReady()) return;
    Finish(uid, ParseWalkOutput(it->second.task->output()));
  });
  walk.timer = loop_.AddTimer(kMaxHomeFolderWalkSeconds, [this, uid] {
    LogMessage("Stopped measuring the home folder of %u after %.0f seconds", uid,
               kMaxHomeFolderWalkSeconds);
    Finish(uid, std::nullopt);
  });
  return walk.watch && walk.timer;
}

void HomeFolderWalks::Finish(uint32_t uid, std::optional<uint64_t> bytes) {
  auto it = walks_.find(uid);
  if (it == walks_.end()) return;
  if (it->second.running) --running_;
  std::vector<HomeFolderSizeCallback> waiting = std::move(it->second.waiting);
  // Kills a child still running; the watch may be the caller, which the
  // loop allows.
  walks_.erase(it);
  for (auto& done : waiting) done(bytes);
  StartQueuedWalks();
}

}  // namespace corvane
