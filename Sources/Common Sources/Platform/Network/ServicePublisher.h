// DNS-SD publication of one service in the default domain. Registration
// completes asynchronously; a failure after Publish() has returned is
// reported once through the error callback. Name conflicts are resolved by
// choosing another name, as a default-named service does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Status.h"

namespace corvane {

class EventLoop;

// The error domain reported with registration failures (the code is the
// DNS-SD library's own error number).
inline constexpr int kDnsSdErrorDomain = 10;

class ServicePublisher {
 public:
  using ErrorCallback = std::function<void(int domain, int code)>;

  // Starts publishing `type` (e.g. "_corvane5._tcp") on `port` under `name`
  // (empty: the host's name). None, with the reason in *why, when the DNS-SD
  // daemon cannot be reached or refuses the service.
  static std::unique_ptr<ServicePublisher> Publish(EventLoop& loop, const std::string& type,
                                                   const std::string& name, uint16_t port,
                                                   ErrorCallback on_error, Status* why);
  // Withdraws the service.
  ~ServicePublisher();
  ServicePublisher(const ServicePublisher&) = delete;
  ServicePublisher& operator=(const ServicePublisher&) = delete;

  // The name the service is (being) registered under.
  const std::string& name() const;

  struct State;

 private:
  explicit ServicePublisher(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace corvane
