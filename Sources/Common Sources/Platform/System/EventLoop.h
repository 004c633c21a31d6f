// The one event loop of a process: file descriptors, one-shot timers,
// deferred work and the termination signals, all run as callbacks on the
// calling thread. Built on sd-event; watched descriptors share one epoll set
// of their own, so that one turn serves every ready descriptor instead of
// one descriptor per turn (sd-event polls its whole set before each single
// dispatch, which costs O(ready descriptors) per request under load).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Status.h"

namespace corvane {

class EventLoop {
 public:
  // Events of a watched file descriptor.
  enum : uint32_t { kReadable = 1, kWritable = 2, kError = 4, kHangUp = 8 };

  // A registered callback; destroying it unregisters the callback. It may be
  // destroyed from inside its own callback: the callback object is freed
  // only once the callback has returned.
  class Source {
   public:
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    // Changes the events a descriptor watch waits for.
    bool SetIoEvents(uint32_t events);

    struct Watch;

   private:
    friend class EventLoop;
    Source(void* native, Watch* watch, void* loop) : native_(native), watch_(watch), loop_(loop) {}
    void* native_;   // sd_event_source of timers, defers
    Watch* watch_;   // descriptor watches
    void* loop_;
  };

  // None when the loop cannot be made.
  static std::unique_ptr<EventLoop> Create();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Level-triggered watch of `fd` (kReadable and/or kWritable); the callback
  // gets the events that happened. None on failure.
  std::unique_ptr<Source> WatchFd(int fd, uint32_t events, std::function<void(uint32_t)> callback);
  // Runs `callback` once after `seconds`. None on failure.
  std::unique_ptr<Source> AddTimer(double seconds, std::function<void()> callback);
  // Runs `callback` once, in a later turn of the loop, before waiting again.
  bool Defer(std::function<void()> callback);
  // Runs `callback` at the end of every turn that dispatched any other
  // callback, before the loop waits again: what the turn's callbacks left
  // to do together (a save for all of them) is done once. None on failure.
  std::unique_ptr<Source> AddTurnEnd(std::function<void()> callback);
  // SIGTERM and SIGINT become events of the loop; the callback gets the
  // signal number.
  bool HandleTerminationSignals(std::function<void(int)> callback);

  // Runs until Exit(); fails (with errno) when the loop itself failed.
  Status Run();
  void Exit(int code);

  // Every Source must be destroyed before the loop.
  // The sd_event of the loop, for adapters of other libraries.
  void* NativeHandle() const;

  struct Impl;

 private:
  explicit EventLoop(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvane
