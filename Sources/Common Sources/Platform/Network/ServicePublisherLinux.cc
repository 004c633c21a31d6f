// Publication through avahi-client, driven on the caller's sd-event loop.
#include "Platform/Network/ServicePublisher.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include "Platform/Network/AvahiSdEventPoll.h"
#include "Platform/System/EventLoop.h"

namespace corvane {

struct ServicePublisher::State {
  explicit State(EventLoop& loop) : poll(loop) {}
  ~State() {
    // Freeing the client frees its entry groups, which withdraws the service.
    if (client) avahi_client_free(client);
  }

  AvahiSdEventPoll poll;
  AvahiClient* client = nullptr;
  AvahiEntryGroup* group = nullptr;
  std::string type;
  std::string name;
  uint16_t port = 0;
  ErrorCallback on_error;
  bool failed = false;
  int setup_error = 0;  // an error met before Publish() returned
};

namespace {

using State = ServicePublisher::State;

void Fail(State* s, int code) {
  if (s->failed) return;
  s->failed = true;
  if (!s->on_error) {
    s->setup_error = code;
    return;
  }
  // The owner usually destroys the publisher from here: touch nothing after.
  auto on_error = s->on_error;
  on_error(kDnsSdErrorDomain, code);
}

void ChooseAlternativeName(State* s) {
  char* other = avahi_alternative_service_name(s->name.c_str());
  s->name = other;
  avahi_free(other);
}

void AddService(State* s, AvahiClient* c);

void _EntryGroupCallBack(AvahiEntryGroup* g, AvahiEntryGroupState state, void* userdata) {
  auto* s = static_cast<State*>(userdata);
  if (state == AVAHI_ENTRY_GROUP_COLLISION) {
    ChooseAlternativeName(s);
    avahi_entry_group_reset(g);
    AddService(s, avahi_entry_group_get_client(g));
  } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
    Fail(s, avahi_client_errno(avahi_entry_group_get_client(g)));
  }
}

void AddService(State* s, AvahiClient* c) {
  if (s->group == nullptr) {
    s->group = avahi_entry_group_new(c, _EntryGroupCallBack, s);
    if (s->group == nullptr) return Fail(s, avahi_client_errno(c));
  }
  if (s->name.empty()) {
    const char* host = avahi_client_get_host_name(c);
    s->name = host ? host : "Corvane 5 Server";
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    int r = avahi_entry_group_add_service(s->group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                          static_cast<AvahiPublishFlags>(0), s->name.c_str(),
                                          s->type.c_str(), nullptr, nullptr, s->port, nullptr);
    if (r == AVAHI_ERR_COLLISION) {
      ChooseAlternativeName(s);
      continue;
    }
    if (r < 0) return Fail(s, r);
    r = avahi_entry_group_commit(s->group);
    if (r < 0) return Fail(s, r);
    return;
  }
  Fail(s, AVAHI_ERR_COLLISION);
}

void _ClientCallBack(AvahiClient* c, AvahiClientState state, void* userdata) {
  auto* s = static_cast<State*>(userdata);
  switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
      if (s->group == nullptr || avahi_entry_group_is_empty(s->group)) AddService(s, c);
      break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
      // The host name changes; the service is added again once running.
      if (s->group) avahi_entry_group_reset(s->group);
      break;
    case AVAHI_CLIENT_FAILURE:
      Fail(s, avahi_client_errno(c));
      break;
    case AVAHI_CLIENT_CONNECTING:
      break;
  }
}

}  // namespace

ServicePublisher::ServicePublisher(std::unique_ptr<State> state) : state_(std::move(state)) {}
ServicePublisher::~ServicePublisher() = default;

const std::string& ServicePublisher::name() const { return state_->name; }

std::unique_ptr<ServicePublisher> ServicePublisher::Publish(EventLoop& loop,
                                                            const std::string& type,
                                                            const std::string& name,
                                                            uint16_t port, ErrorCallback on_error,
                                                            Status* why) {
  auto s = std::make_unique<State>(loop);
  s->type = type;
  s->name = name;
  s->port = port;
  int error = 0;
  // The client calls back synchronously (S_RUNNING) from inside
  // avahi_client_new, so the service is added before it returns.
  s->client = avahi_client_new(s->poll.poll(), static_cast<AvahiClientFlags>(0), _ClientCallBack,
                               s.get(), &error);
  if (s->client == nullptr) s->setup_error = error ? error : AVAHI_ERR_FAILURE;
  if (s->setup_error != 0) {
    if (why) *why = Status::IOError(std::string("DNS-SD publication of ") + type + ": " +
                                    avahi_strerror(s->setup_error));
    return nullptr;
  }
  s->on_error = std::move(on_error);
  return std::unique_ptr<ServicePublisher>(new ServicePublisher(std::move(s)));
}

}  // namespace corvane
