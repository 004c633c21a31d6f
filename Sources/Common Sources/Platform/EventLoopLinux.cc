#include <assert.h>
#include <signal.h>
#include <sys/epoll.h>
#include <systemd/sd-event.h>
#include <time.h>

#include "Platform/EventLoop.h"

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

int _IoCallBack(sd_event_source*, int, uint32_t revents, void* userdata) {
  uint32_t events = 0;
  if (revents & EPOLLIN) events |= EventLoop::kReadable;
  if (revents & EPOLLOUT) events |= EventLoop::kWritable;
  if (revents & EPOLLERR) events |= EventLoop::kError;
  if (revents & (EPOLLHUP | EPOLLRDHUP)) events |= EventLoop::kHangUp;
  static_cast<Callback<std::function<void(uint32_t)>>*>(userdata)->function(events);
  return 0;
}

int _TimerCallBack(sd_event_source*, uint64_t, void* userdata) {
  static_cast<Callback<std::function<void()>>*>(userdata)->function();
  return 0;
}

int _DeferCallBack(sd_event_source* source, void* userdata) {
  static_cast<Callback<std::function<void()>>*>(userdata)->function();
  // One-shot: dropping the only reference frees it after this dispatch.
  sd_event_source_unref(source);
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

}  // namespace

EventLoop::Source::~Source() { sd_event_source_unref(static_cast<sd_event_source*>(native_)); }

bool EventLoop::Source::SetIoEvents(uint32_t events) {
  return sd_event_source_set_io_events(static_cast<sd_event_source*>(native_), ToEpoll(events)) >=
         0;
}

std::unique_ptr<EventLoop> EventLoop::Create() {
  sd_event* event = nullptr;
  if (sd_event_new(&event) < 0) return nullptr;
  return std::unique_ptr<EventLoop>(new EventLoop(event));
}

EventLoop::~EventLoop() { sd_event_unref(static_cast<sd_event*>(native_)); }

std::unique_ptr<EventLoop::Source> EventLoop::WatchFd(int fd, uint32_t events,
                                                      std::function<void(uint32_t)> callback) {
  auto* cb = new Callback<std::function<void(uint32_t)>>{std::move(callback)};
  sd_event_source* source = nullptr;
  if (sd_event_add_io(static_cast<sd_event*>(native_), &source, fd, ToEpoll(events), _IoCallBack,
                      cb) < 0) {
    delete cb;
    return nullptr;
  }
  if (!Adopt(source, cb)) return nullptr;
  return std::unique_ptr<Source>(new Source(source));
}

std::unique_ptr<EventLoop::Source> EventLoop::AddTimer(double seconds,
                                                       std::function<void()> callback) {
  auto* cb = new Callback<std::function<void()>>{std::move(callback)};
  sd_event_source* source = nullptr;
  uint64_t usec = seconds <= 0 ? 1 : static_cast<uint64_t>(seconds * 1e6);
  if (sd_event_add_time_relative(static_cast<sd_event*>(native_), &source, CLOCK_MONOTONIC, usec,
                                 0, _TimerCallBack, cb) < 0) {
    delete cb;
    return nullptr;
  }
  if (!Adopt(source, cb)) return nullptr;
  return std::unique_ptr<Source>(new Source(source));
}

bool EventLoop::Defer(std::function<void()> callback) {
  auto* cb = new Callback<std::function<void()>>{std::move(callback)};
  sd_event_source* source = nullptr;
  if (sd_event_add_defer(static_cast<sd_event*>(native_), &source, _DeferCallBack, cb) < 0) {
    delete cb;
    return false;
  }
  return Adopt(source, cb);
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
    if (sd_event_add_signal(static_cast<sd_event*>(native_), &source, signal_number,
                            _SignalCallBack, cb) < 0) {
      delete cb;
      return false;
    }
    if (!Adopt(source, cb)) return false;
    // Owned by the loop from here on.
    sd_event_source_set_floating(source, 1);
    sd_event_source_unref(source);
  }
  return true;
}

int EventLoop::Run() { return sd_event_loop(static_cast<sd_event*>(native_)); }

void EventLoop::Exit(int code) { sd_event_exit(static_cast<sd_event*>(native_), code); }

}  // namespace corvane
