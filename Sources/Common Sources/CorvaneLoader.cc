#include "CorvaneLoader.h"

#include <cassert>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "Platform/Deadline.h"
#include "Platform/DnsSdBrowser.h"
#include "Platform/StreamSocket.h"
#include "ReplyAssembler.h"
#include "Utf8.h"

namespace corvane {
namespace {

constexpr double kTickSeconds = 1.0 / 60.0;
// Names longer than this are not printed.
constexpr size_t kNameTextBuffer = 4096;
constexpr int kLocalConnectWaitMilliseconds = 1000;

struct LoaderState {
  // Lives for the process: the next discovery falls back to it when nothing
  // new turns up.
  std::optional<DnsSdService> found_service;
  std::unique_ptr<StreamSocket> server;
  std::unique_ptr<StreamSocket> local;
  uint16_t local_port = kDefaultServerPort;
  std::string service_type = kServiceType;
  // Set when the caller named the server: no discovery then.
  std::vector<SocketAddress> fixed_addresses;

  // Only during a discovery.
  DnsSdSession* session = nullptr;
  std::map<std::string, int> browsers;  // domain -> service browser
  bool wait_ended = false;
};

LoaderState& State() {
  static LoaderState state;
  return state;
}

bool PrintableName(const std::string& text) {
  return text.size() < kNameTextBuffer && IsValidUtf8(text);
}

void ServiceBrowserCallBack(const std::string& domain, bool added, const DnsSdService& service) {
  LoaderState& s = State();
  assert(s.session != nullptr && "CorvaneLoader: service event outside a discovery");
  if (!added) return;
  if (PrintableName(service.name) && PrintableName(service.domain)) {
    std::printf("Found service at host: %s.%s\n", service.name.c_str(), service.domain.c_str());
  } else {
    std::printf("Found service with unprintable characters in name\n");
  }
  s.found_service = service;
  auto it = s.browsers.find(domain);
  if (it != s.browsers.end()) {
    s.session->StopServiceSearch(it->second);
    s.browsers.erase(it);
  }
  s.wait_ended = true;
}

void DomainBrowserCallBack(bool added, const std::string& domain) {
  LoaderState& s = State();
  assert(s.session != nullptr && "CorvaneLoader: domain event outside a discovery");
  if (added) {
    if (s.browsers.count(domain) != 0) return;
    int id = s.session->SearchForServices(
        domain, s.service_type, [domain](bool service_added, const DnsSdService& service) {
          ServiceBrowserCallBack(domain, service_added, service);
        });
    if (id > 0) s.browsers[domain] = id;
    return;
  }
  auto it = s.browsers.find(domain);
  if (it == s.browsers.end()) return;
  s.session->StopServiceSearch(it->second);
  s.browsers.erase(it);
}

// The socket's family decides the address: IPv4 preferred, IPv6 otherwise,
// never an IPv6 address through an IPv4 socket.
const SocketAddress* PickAddress(const std::vector<SocketAddress>& addresses) {
  for (const auto& a : addresses) {
    if (a.family == SocketAddress::Family::kIPv4) return &a;
  }
  return addresses.empty() ? nullptr : &addresses.front();
}

void PrintIPv4Addresses(const std::vector<SocketAddress>& addresses) {
  for (size_t i = 0; i < addresses.size(); ++i) {
    const SocketAddress& a = addresses[i];
    if (a.family != SocketAddress::Family::kIPv4) continue;
    std::printf("Address %i is: %i", static_cast<int>(i), a.bytes[0]);
    std::printf(".%i", a.bytes[1]);
    std::printf(".%i", a.bytes[2]);
    std::printf(".%i\n", a.bytes[3]);
  }
}

void PauseTicks(int ticks) {
  std::this_thread::sleep_for(std::chrono::duration<double>(ticks * kTickSeconds));
}

// Up to kConnectAttempts tries, kConnectPauseTicks apart, until the socket
// is connected and writable.
int ConnectToAddresses(const std::vector<SocketAddress>& addresses,
                       std::unique_ptr<StreamSocket>* socket) {
  int status = kClientNoServer;
  const SocketAddress* address = PickAddress(addresses);
  for (int attempt = 0; attempt < kConnectAttempts && status != kClientOK; ++attempt) {
    if (*socket == nullptr) {
      PrintIPv4Addresses(addresses);
      if (address != nullptr) *socket = StreamSocket::Create(address->family);
      status = kClientStreamPairFailed;
    }
    if (*socket != nullptr) {
      StreamSocket& s = **socket;
      status = kClientOpenFailed;
      bool opened = s.connect_started() ? s.CheckState() != StreamSocket::State::kError
                                        : s.StartConnect(*address);
      if (opened) status = kClientNotWritten;
      if (s.CanAcceptBytes()) status = kClientOK;
    }
    if (status == kClientOK) break;
    // A connect in progress ends the pause early when it completes.
    if (*socket != nullptr && (*socket)->CheckState() == StreamSocket::State::kOpening) {
      (*socket)->Wait(false, static_cast<int>(kConnectPauseTicks * kTickSeconds * 1000));
    } else {
      PauseTicks(kConnectPauseTicks);
    }
  }
  return status;
}

void Discover(DnsSdSession* session) {
  LoaderState& s = State();
  s.session = session;
  s.browsers.clear();
  s.wait_ended = false;
  if (session->SearchForDomains(DomainBrowserCallBack)) {
    session->RunUntil(Deadline::After(kDiscoveryWindowSeconds), &s.wait_ended);
  }
}

int SocketHandle(const std::unique_ptr<StreamSocket>& socket) {
  return socket != nullptr ? socket->Handle() : 0;
}

}  // namespace

int ConnectToServer() {
  LoaderState& s = State();
  if (s.server != nullptr) return kClientOK;
  if (!s.fixed_addresses.empty()) {
    std::unique_ptr<StreamSocket> socket;
    int status = ConnectToAddresses(s.fixed_addresses, &socket);
    if (status == kClientOK) s.server = std::move(socket);
    return status;
  }

  int session_error = 0;
  std::unique_ptr<DnsSdSession> session = DnsSdSession::Open(&session_error);
  if (session != nullptr) Discover(session.get());

  int status = kClientNoServer;
  std::unique_ptr<StreamSocket> socket;
  if (s.found_service) {
    std::vector<SocketAddress> addresses;
    int err = session != nullptr
                  ? session->Resolve(*s.found_service, kResolveTimeoutSeconds, &addresses)
                  : session_error;
    if (err != 0) {
      std::printf("CFNetServiceResolve failed (err %i).\n", err);
    } else {
      status = ConnectToAddresses(addresses, &socket);
      if (status != kClientOK) {
        std::printf("Resolving streams failed err %i, wStream=%i, rStream=%i\n", status,
                    SocketHandle(socket), SocketHandle(socket));
      }
    }
  }
  if (status == kClientOK) s.server = std::move(socket);
  // Stopping the session stops the domain browser and every service browser.
  s.browsers.clear();
  s.session = nullptr;
  return status;
}

int OpenLocalConnection(StreamSocket** connection) {
  LoaderState& s = State();
  if (s.local != nullptr) {
    StreamSocket::State state = s.local->CheckState();
    // A connection the server closed is replaced too: it could never carry
    // another request.
    if (state == StreamSocket::State::kOpen || state == StreamSocket::State::kOpening) {
      *connection = s.local.get();
      return kClientOK;
    }
  }
  s.local.reset();
  for (const SocketAddress& a : LookUpHost(kLocalServerHost, s.local_port)) {
    std::unique_ptr<StreamSocket> socket = StreamSocket::Create(a.family);
    if (socket == nullptr || !socket->StartConnect(a)) continue;
    // On this machine a connect is answered at once; waiting for the answer
    // tells a missing local server apart here rather than as a lost
    // connection later.
    if (socket->CheckState() == StreamSocket::State::kOpening) {
      socket->Wait(false, kLocalConnectWaitMilliseconds);
    }
    if (socket->CheckState() != StreamSocket::State::kError) {
      s.local = std::move(socket);
      *connection = s.local.get();
      return kClientOK;
    }
  }
  return kClientNoServer;
}

uint16_t LocalServerPort() { return State().local_port; }

void DropServerConnection() { State().server.reset(); }

void ReportReconnect() {
  std::fputs("CORVANE ERROR: Re-connecting to server (connection dropped)\n", stderr);
  DropServerConnection();
}

namespace {

// Reads and throws away whatever the connection has ready now.
void DrainReadyBytes(StreamSocket* socket) {
  uint8_t scratch[kReplyReadSize];
  while (socket->HasBytesAvailable() && socket->Read(scratch, sizeof scratch) > 0) {
  }
}

// The connection a request went over can no longer be trusted to be in step
// with the server: forget it.
void DropConnection(uint8_t command) {
  if (command == kDisconnectionRequest) {
    State().local.reset();
  } else {
    DropServerConnection();
  }
}

}  // namespace

int SendCommand(uint8_t command, std::span<const uint8_t> payload, int timeout_seconds,
                bool reply_wanted, std::optional<Bytes>* reply) {
  Deadline deadline = Deadline::After(timeout_seconds);
  if (reply != nullptr) reply->reset();
  if (ConnectToServer() != kClientOK) return kClientNoServer;

  StreamSocket* socket = State().server.get();
  if (command == kDisconnectionRequest && OpenLocalConnection(&socket) != kClientOK) {
    return kClientNoServer;
  }

  Bytes request = BuildRequest(command, payload);
  size_t written = 0;
  bool request_written = false;
  bool lost = false;
  ReplyAssembler assembler;
  while (!deadline.Passed()) {
    StreamSocket::State state = socket->CheckState();
    if (state == StreamSocket::State::kOpening) {
      socket->Wait(false, deadline.RemainingMilliseconds());
      continue;
    }
    if (state != StreamSocket::State::kOpen) {
      DropServerConnection();
      if (command == kDisconnectionRequest) State().local.reset();
      std::fputs("Corvane client: connection lost.\n", stderr);
      lost = true;
      break;
    }
    if (!request_written) {
      long n = socket->Write(std::span<const uint8_t>(request).subspan(written));
      if (n > 0) written += static_cast<size_t>(n);
      request_written = written == request.size();
      if (!reply_wanted) break;
      if (!request_written) socket->Wait(false, deadline.RemainingMilliseconds());
      continue;
    }
    if (!socket->HasBytesAvailable()) {
      socket->Wait(true, deadline.RemainingMilliseconds());
      continue;
    }
    uint8_t chunk[kReplyReadSize];
    long n = socket->Read(chunk, assembler.NextReadSize());
    if (n > 0) assembler.Append(chunk, static_cast<size_t>(n));
    if (assembler.complete() || assembler.refused()) break;
  }

  if (!lost) {
    bool partly_written = written > 0 && !request_written;
    if (partly_written || (request_written && reply_wanted && !assembler.complete())) {
      // Half a request, or a reply that may still come: either would be
      // read out of step with the next request.
      DropConnection(command);
    } else {
      DrainReadyBytes(socket);
    }
  }

  if (!request_written) return kClientNotWritten;
  if (!reply_wanted) return kClientOK;
  // An announced body above the bound is no reply at all.
  if (assembler.refused()) return kClientNotWritten;
  if (reply != nullptr) *reply = assembler.TakeBody();
  return kClientOK;
}

int SendLocalCommand(uint8_t command, std::span<const uint8_t> payload) {
  StreamSocket* socket = nullptr;
  if (OpenLocalConnection(&socket) != kClientOK) return kClientNoServer;
  if (socket->CheckState() == StreamSocket::State::kOpening) {
    socket->Wait(false, kLocalConnectWaitMilliseconds);
  }
  Bytes request = BuildRequest(command, payload);
  long n = socket->CanAcceptBytes() ? socket->Write(request) : -1;
  if (n != static_cast<long>(request.size())) {
    State().local.reset();
    return kClientNotWritten;
  }
  return kClientOK;
}

bool UseServerAddress(const std::string& host, uint16_t port) {
  LoaderState& s = State();
  s.server.reset();
  s.fixed_addresses = LookUpHost(host.c_str(), port);
  return !s.fixed_addresses.empty();
}

void ResetClientStateForTesting() {
  LoaderState& s = State();
  s.found_service.reset();
  s.server.reset();
  s.local.reset();
  s.local_port = kDefaultServerPort;
  s.service_type = kServiceType;
  s.fixed_addresses.clear();
}

void SetServiceTypeForTesting(const char* type) { State().service_type = type; }

void SetLocalServerPortForTesting(uint16_t port) { State().local_port = port; }

}  // namespace corvane
