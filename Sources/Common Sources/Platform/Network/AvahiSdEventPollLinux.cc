// Avahi watches map to sd-event IO sources and Avahi timeouts to monotonic
// timer sources. Avahi's watch events use poll(2) bit values, which epoll
// shares (IN 1, OUT 4, ERR 8, HUP 16), so they pass through unchanged.
#include "Platform/Network/AvahiSdEventPoll.h"

#include <assert.h>
#include <avahi-common/watch.h>
#include <sys/epoll.h>
#include <sys/time.h>
#include <systemd/sd-event.h>

#include "Platform/System/EventLoop.h"

struct AvahiWatch {
  sd_event_source* source = nullptr;
  AvahiWatchCallback callback = nullptr;
  void* userdata = nullptr;
  AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);
};

struct AvahiTimeout {
  sd_event* event = nullptr;
  sd_event_source* source = nullptr;
  AvahiTimeoutCallback callback = nullptr;
  void* userdata = nullptr;
};

namespace corvane {

struct AvahiSdEventPoll::Api {
  AvahiPoll poll{};
  sd_event* event = nullptr;
};

namespace {

sd_event* EventOf(const AvahiPoll* api) { return static_cast<sd_event*>(api->userdata); }

int _WatchCallBack(sd_event_source*, int fd, uint32_t revents, void* userdata) {
  auto* w = static_cast<AvahiWatch*>(userdata);
  w->happened = static_cast<AvahiWatchEvent>(revents & (EPOLLIN | EPOLLOUT | EPOLLERR | EPOLLHUP));
  // The callback may free the watch; nothing touches it afterwards.
  w->callback(w, fd, w->happened, w->userdata);
  return 0;
}

AvahiWatch* _WatchNew(const AvahiPoll* api, int fd, AvahiWatchEvent event,
                      AvahiWatchCallback callback, void* userdata) {
  auto* w = new AvahiWatch{nullptr, callback, userdata};
  if (sd_event_add_io(EventOf(api), &w->source, fd, event, _WatchCallBack, w) < 0) {
    delete w;
    return nullptr;
  }
  return w;
}

void _WatchUpdate(AvahiWatch* w, AvahiWatchEvent event) {
  sd_event_source_set_io_events(w->source, event);
}

AvahiWatchEvent _WatchGetEvents(AvahiWatch* w) { return w->happened; }

// avahi-client's D-Bus glue frees watches and timeouts it never got when
// the daemon cannot be reached, so a null one is nothing to free.
void _WatchFree(AvahiWatch* w) {
  if (w == nullptr) return;
  // Safe during the watch's own dispatch: sd-event delays the free.
  sd_event_source_unref(w->source);
  delete w;
}

int _TimeoutCallBack(sd_event_source*, uint64_t, void* userdata) {
  auto* t = static_cast<AvahiTimeout*>(userdata);
  sd_event_source_set_enabled(t->source, SD_EVENT_OFF);
  t->callback(t, t->userdata);
  return 0;
}

// Avahi gives deadlines as gettimeofday() times. They become delays on the
// monotonic clock, so that a wall clock set back or forward (or faked for a
// test) neither stalls nor rushes the timeout.
uint64_t MonotonicDeadline(sd_event* event, const struct timeval* tv) {
  struct timeval now;
  gettimeofday(&now, nullptr);
  int64_t delay = (static_cast<int64_t>(tv->tv_sec) - now.tv_sec) * 1000000 +
                  (static_cast<int64_t>(tv->tv_usec) - now.tv_usec);
  uint64_t base = 0;
  sd_event_now(event, CLOCK_MONOTONIC, &base);
  return base + static_cast<uint64_t>(delay > 0 ? delay : 0);
}

void _TimeoutUpdate(AvahiTimeout* t, const struct timeval* tv) {
  if (tv == nullptr) {
    sd_event_source_set_enabled(t->source, SD_EVENT_OFF);
    return;
  }
  sd_event_source_set_time(t->source, MonotonicDeadline(t->event, tv));
  sd_event_source_set_enabled(t->source, SD_EVENT_ONESHOT);
}

AvahiTimeout* _TimeoutNew(const AvahiPoll* api, const struct timeval* tv,
                          AvahiTimeoutCallback callback, void* userdata) {
  auto* t = new AvahiTimeout{EventOf(api), nullptr, callback, userdata};
  uint64_t deadline = tv ? MonotonicDeadline(t->event, tv) : 0;
  if (sd_event_add_time(t->event, &t->source, CLOCK_MONOTONIC, deadline, 0, _TimeoutCallBack, t) <
      0) {
    delete t;
    return nullptr;
  }
  if (tv == nullptr) sd_event_source_set_enabled(t->source, SD_EVENT_OFF);
  return t;
}

void _TimeoutFree(AvahiTimeout* t) {
  if (t == nullptr) return;
  sd_event_source_unref(t->source);
  delete t;
}

}  // namespace

AvahiSdEventPoll::AvahiSdEventPoll(EventLoop& loop) : api_(std::make_unique<Api>()) {
  api_->event = static_cast<sd_event*>(loop.NativeHandle());
  assert(api_->event != nullptr && "AvahiSdEventPoll: the loop has no sd_event");
  api_->poll.userdata = api_->event;
  api_->poll.watch_new = _WatchNew;
  api_->poll.watch_update = _WatchUpdate;
  api_->poll.watch_get_events = _WatchGetEvents;
  api_->poll.watch_free = _WatchFree;
  api_->poll.timeout_new = _TimeoutNew;
  api_->poll.timeout_update = _TimeoutUpdate;
  api_->poll.timeout_free = _TimeoutFree;
}

AvahiSdEventPoll::~AvahiSdEventPoll() = default;

const AvahiPoll* AvahiSdEventPoll::poll() const { return &api_->poll; }

}  // namespace corvane
