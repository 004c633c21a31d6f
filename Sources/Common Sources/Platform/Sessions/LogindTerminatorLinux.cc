#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include "Platform/Sessions/LogindTerminator.h"

namespace corvane {
namespace {

constexpr uint64_t kCallTimeoutMicroseconds = 5'000'000;

int _ReplyCallBack(sd_bus_message* reply, void* userdata, sd_bus_error*) {
  auto* done = static_cast<std::function<void(bool)>*>(userdata);
  (*done)(!sd_bus_message_is_method_error(reply, nullptr));
  delete done;
  return 0;
}

}  // namespace

struct LogindTerminator::Bus {
  sd_bus* bus = nullptr;
  ~Bus() {
    if (bus != nullptr) sd_bus_flush_close_unref(bus);
  }
};

LogindTerminator::LogindTerminator(EventLoop& loop) : loop_(loop) {}
LogindTerminator::~LogindTerminator() = default;

void LogindTerminator::TerminateSession(const std::string& session,
                                        std::function<void(bool)> done) {
  if (!bus_) {
    auto bus = std::make_unique<Bus>();
    if (sd_bus_open_system(&bus->bus) >= 0 &&
        sd_bus_attach_event(bus->bus, static_cast<sd_event*>(loop_.NativeHandle()), 0) >= 0) {
      bus_ = std::move(bus);
    }
  }
  sd_bus_message* call = nullptr;
  bool sent = false;
  auto* pending = new std::function<void(bool)>(done);
  if (bus_ &&
      sd_bus_message_new_method_call(bus_->bus, &call, "org.freedesktop.login1",
                                     "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                     "TerminateSession") >= 0 &&
      sd_bus_message_append(call, "s", session.c_str()) >= 0) {
    sent = sd_bus_call_async(bus_->bus, nullptr, call, _ReplyCallBack, pending,
                             kCallTimeoutMicroseconds) >= 0;
  }
  sd_bus_message_unref(call);
  if (sent) return;
  delete pending;
  // A bus that failed once is opened afresh next time.
  bus_.reset();
  loop_.Defer([done] { done(false); });
}

}  // namespace corvane
