// Avahi's main-loop abstraction (AvahiPoll) driven by our sd-event loop, so
// a daemon can use avahi-client without a loop or thread of its own.
#pragma once

#include <memory>

struct AvahiPoll;

namespace corvane {

class EventLoop;

class AvahiSdEventPoll {
 public:
  // `loop` must outlive this object and every Avahi object using poll().
  explicit AvahiSdEventPoll(EventLoop& loop);
  ~AvahiSdEventPoll();
  AvahiSdEventPoll(const AvahiSdEventPoll&) = delete;
  AvahiSdEventPoll& operator=(const AvahiSdEventPoll&) = delete;

  const AvahiPoll* poll() const;

 private:
  struct Api;
  std::unique_ptr<Api> api_;
};

}  // namespace corvane
