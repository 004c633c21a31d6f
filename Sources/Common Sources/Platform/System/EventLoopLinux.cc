#include <assert.h>
#include <signal.h>
#include <sys/epoll.h>
#include <systemd/sd-event.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "Platform/System/EventLoop.h"

namespace corvane {
namespace {

// The callback of a source lives on the heap and is freed by sd-event's
// destroy callback, which runs only after a dispatch in progress returns.
template <typename F>
struct Callback {
  F function;
  sd_event_source* source = nullptr;
};

template <typename F>
void _DestroyCallback(void* userdata) {
  delete static_cast<Callback<F>*>(userdata);
}

uint32_t ToEpoll(uint32_t events) {
  uint32_t e = 0;
  if (events & EventLoop::kReadable) e |= EPOLLIN;
  if (events & EventLoop::kWritable) e |= EPOLLOUT;
  return e;
}

uint32_t FromEpoll(uint32_t revents) {
  uint32_t events = 0;
  if (revents & EPOLLIN) events |= EventLoop::kReadable;
  if (revents & EPOLLOUT) events |= EventLoop::kWritable;
  if (revents & EPOLLERR) events |= EventLoop::kError;
  if (revents & (EPOLLHUP | EPOLLRDHUP)) events |= EventLoop::kHangUp;
  return events;
}

int _TimerCallBack(sd_event_source*, uint64_t, void* userdata) {
  static_cast<Callback<std::function<void()>>*>(userdata)->function();
  return 0;
}

int _DeferCallBack(sd_event_source* source, void* userdata) {
  static_cast<Callback<std::function<void()>>*>(userdata)->function();
  // One-shot: ending the loop's ownership drops the last reference, which
  // frees the source once this dispatch returns.
  sd_event_source_set_floating(source, 0);
  return 0;
}

int _TurnEndCallBack(sd_event_source*, void* userdata) {
  static_cast<Callback<std::function<void()>>*>(userdata)->function();
  return 0;
}

int _SignalCallBack(sd_event_source*, const struct signalfd_siginfo* info, void* userdata) {
  static_cast<Callback<std::function<void(int)>>*>(userdata)->function(
      static_cast<int>(info->ssi_signo));
  return 0;
}

template <typename F>
bool Adopt(sd_event_source* source, Callback<F>* callback) {
  callback->source = source;
  if (sd_event_source_set_destroy_callback(source, _DestroyCallback<F>) < 0) {
    sd_event_source_unref(source);
    delete callback;
    return false;
  }
  return true;
}

// Adopts the source and hands it to the loop, which then owns it: one still
// pending when the loop is freed goes with it.
template <typename F>
bool AdoptFloating(sd_event_source* source, Callback<F>* callback) {
  if (!Adopt(source, callback)) return false;
  sd_event_source_set_floating(source, 1);
  sd_event_source_unref(source);
  return true;
}

int _WatchSetCallBack(sd_event_source*, int, uint32_t, void* userdata);

}  // namespace

struct EventLoop::Source::Watch {
  int fd = -1;
  std::function<void(uint32_t)> callback;
  bool removed = false;
};

struct EventLoop::Impl {
  ~Impl() {
    for (auto* w : graveyard) delete w;
    sd_event_source_unref(watch_set_source);
    if (watch_set >= 0) close(watch_set);
    sd_event_unref(event);
  }

  // Serves every ready descriptor of the set. A callback may remove any
  // watch, its own included: removed watches are freed after the batch.
  void DispatchWatches() {
    epoll_event ready[256];
    int n = epoll_wait(watch_set, ready, 256, 0);
    dispatching = true;
    for (int i = 0; i < n; ++i) {
      auto* w = static_cast<Source::Watch*>(ready[i].data.ptr);
      if (!w->removed) w->callback(FromEpoll(ready[i].events));
    }
    dispatching = false;
    for (auto* w : graveyard) delete w;
    graveyard.clear();
  }

  void Remove(Source::Watch* w) {
    epoll_ctl(watch_set, EPOLL_CTL_DEL, w->fd, nullptr);
    w->removed = true;
    if (dispatching) {
      graveyard.push_back(w);
    } else {
      delete w;
    }
  }

  sd_event* event = nullptr;
  int watch_set = -1;
  sd_event_source* watch_set_source = nullptr;
  bool dispatching = false;
  std::vector<Source::Watch*> graveyard;
};

namespace {

int _WatchSetCallBack(sd_event_source*, int, uint32_t, void* userdata) {
  static_cast<EventLoop::Impl*>(userdata)->DispatchWatches();
  return 0;
}

}  // namespace

EventLoop::Source::~Source() {
  if (watch_) {
    static_cast<EventLoop::Impl*>(loop_)->Remove(watch_);
  } else {
    sd_event_source_unref(static_cast<sd_event_source*>(native_));
  }
}

bool EventLoop::Source::SetIoEvents(uint32_t events) {
  assert(watch_ != nullptr && "EventLoop: SetIoEvents on a source that watches no descriptor");
  epoll_event ev{};
  ev.events = ToEpoll(events);
  ev.data.ptr = watch_;
  return epoll_ctl(static_cast<EventLoop::Impl*>(loop_)->watch_set, EPOLL_CTL_MOD, watch_->fd,
                   &ev) == 0;
}

EventLoop::EventLoop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<EventLoop> EventLoop::Create() {
  auto impl = std::make_unique<Impl>();
  if (sd_event_new(&impl->event) < 0) return nullptr;
  impl->watch_set = epoll_create1(EPOLL_CLOEXEC);
  if (impl->watch_set < 0) return nullptr;
  if (sd_event_add_io(impl->event, &impl->watch_set_source, impl->watch_set, EPOLLIN,
                      _WatchSetCallBack, impl.get()) < 0) {
    return nullptr;
  }
  return std::unique_ptr<EventLoop>(new EventLoop(std::move(impl)));
}

EventLoop::~EventLoop() = default;

void* EventLoop::NativeHandle() const { return impl_->event; }

std::unique_ptr<EventLoop::Source> EventLoop::WatchFd(int fd, uint32_t events,
                                                      std::function<void(uint32_t)> callback) {
  auto* w = new Source::Watch{fd, std::move(callback)};
  epoll_event ev{};
  ev.events = ToEpoll(events);
  ev.data.ptr = w;
  if (epoll_ctl(impl_->watch_set, EPOLL_CTL_ADD, fd, &ev) != 0) {
    delete w;
    return nullptr;
  }
  return std::unique_ptr<Source>(new Source(nullptr, w, impl_.get()));
}

std::unique_ptr<EventLoop::Source> EventLoop::AddTimer(double seconds,
                                                       std::function<void()> callback) {
  auto* cb = new Callback<std::function<void()>>{std::move(callback)};
  sd_event_source* source = nullptr;
  uint64_t usec = seconds <= 0 ? 1 : static_cast<uint64_t>(seconds * 1e6);
  if (sd_event_add_time_relative(impl_->event, &source, CLOCK_MONOTONIC, usec,
                                 0, _TimerCallBack, cb) < 0) {
    delete cb;
    return nullptr;
  }
  if (!Adopt(source, cb)) return nullptr;
  return std::unique_ptr<Source>(new Source(source, nullptr, impl_.get()));
}

bool EventLoop::Defer(std::function<void()> callback) {
  auto* cb = new Callback<std::function<void()>>{std::move(callback)};
  sd_event_source* source = nullptr;
  if (sd_event_add_defer(impl_->event, &source, _DeferCallBack, cb) < 0) {
    delete cb;
    return false;
  }
  return AdoptFloating(source, cb);
}

std::unique_ptr<EventLoop::Source> EventLoop::AddTurnEnd(std::function<void()> callback) {
  auto* cb = new Callback<std::function<void()>>{std::move(callback)};
  sd_event_source* source = nullptr;
  // A post source at the same priority as the rest: sd-event marks it
  // pending whenever another source is dispatched, and a source that became
  // ready later is served after it, so a busy loop cannot starve it.
  if (sd_event_add_post(impl_->event, &source, _TurnEndCallBack, cb) < 0) {
    delete cb;
    return nullptr;
  }
  if (!Adopt(source, cb)) return nullptr;
  return std::unique_ptr<Source>(new Source(source, nullptr, impl_.get()));
}

bool EventLoop::HandleTerminationSignals(std::function<void(int)> callback) {
  // sd-event reads signals through a signalfd, which only sees blocked ones.
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) return false;
  for (int signal_number : {SIGTERM, SIGINT}) {
    auto* cb = new Callback<std::function<void(int)>>{callback};
    sd_event_source* source = nullptr;
    if (sd_event_add_signal(impl_->event, &source, signal_number,
                            _SignalCallBack, cb) < 0) {
      delete cb;
      return false;
    }
    if (!AdoptFloating(source, cb)) return false;
  }
  return true;
}

Status EventLoop::Run() {
  int result = sd_event_loop(impl_->event);
  return result >= 0 ? Status::OK() : Status::IOError("the event loop", -result);
}

void EventLoop::Exit(int code) { sd_event_exit(impl_->event, code); }

}  // namespace corvane
