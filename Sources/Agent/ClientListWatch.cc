#include "ApplicationWatch.h"

namespace corvane {

ApplicationWatch::Changes ApplicationWatch::Update(const std::vector<ClientWindow>& windows) {
  Changes changes;
  std::set<int32_t> listed;
  for (const ClientWindow& w : windows) {
    if (w.pid <= 0 || listed.count(w.pid) != 0) continue;
    if (watchable_ && !watchable_(w.pid)) continue;
    listed.insert(w.pid);
    if (known_.insert(w.pid).second) changes.launched.push_back(w);
  }
  for (auto it = known_.begin(); it != known_.end();) {
    bool gone = listed.count(*it) == 0 && (!alive_ || !alive_(*it));
    if (gone) {
      changes.terminated.push_back(*it);
      it = known_.erase(it);
    } else {
      ++it;
    }
  }
  return changes;
}

}  // namespace corvane
