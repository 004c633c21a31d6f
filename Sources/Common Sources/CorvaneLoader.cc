#include "CorvaneLoader.h"

#include <cassert>
#include <chrono>
#include <cstdio>
#include <charconv>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "Paths.h"
#include "Platform/System/Deadline.h"
#include "Platform/Network/DnsSdBrowser.h"
#include "Platform/Network/PeerUser.h"
#include "Platform/Network/StreamSocket.h"
#include "PlistFile.h"
#include "PreferenceKeys.h"
#include "Preferences.h"
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
  // Set when the caller or root's "Server address" named the server: no
  // discovery then. The name is looked up again while it gives no address.
  bool pinned = false;
  bool pin_read = false;
  std::string pinned_host;
  uint16_t pinned_port = kDefaultServerPort;
  std::vector<SocketAddress> fixed_addresses;

  // Only during a discovery: every service reported, in order.
  DnsSdSession* session = nullptr;
  std::map<std::string, int> browsers;  // domain -> service browser
  std::vector<DnsSdService> candidates;
  bool wait_ended = false;
};

LoaderState& State() {
  static LoaderState state;
  return state;
}

bool PrintableName(const std::string& text) {
  return text.size() < kNameTextBuffer && IsValidUtf8(text);
}

// Every service found is a candidate; browsing goes on, since the first one
// may turn out to be someone's fake on this machine.
void ServiceBrowserCallBack(bool added, const DnsSdService& service) {
  LoaderState& s = State();
  assert(s.session != nullptr && "CorvaneLoader: service event outside a discovery");
  if (!added) return;
  if (PrintableName(service.name) && PrintableName(service.domain)) {
    std::printf("Found service at host: %s.%s\n", service.name.c_str(), service.domain.c_str());
  } else {
    std::printf("Found service with unprintable characters in name\n");
  }
  s.candidates.push_back(service);
  s.wait_ended = true;
}

void DomainBrowserCallBack(bool added, const std::string& domain) {
  LoaderState& s = State();
  assert(s.session != nullptr && "CorvaneLoader: domain event outside a discovery");
  if (added) {
    if (s.browsers.count(domain) != 0) return;
    std::optional<int> id = s.session->SearchForServices(
        domain, s.service_type, [](bool service_added, const DnsSdService& service) {
          ServiceBrowserCallBack(service_added, service);
        });
    if (id) s.browsers[domain] = *id;
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
    if (a.family == IpFamily::kIPv4) return &a;
  }
  return addresses.empty() ? nullptr : &addresses.front();
}

void PrintIPv4Addresses(const std::vector<SocketAddress>& addresses) {
  for (size_t i = 0; i < addresses.size(); ++i) {
    const SocketAddress& a = addresses[i];
    if (a.family != IpFamily::kIPv4) continue;
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
ClientStatus ConnectToAddresses(const std::vector<SocketAddress>& addresses,
                                std::unique_ptr<StreamSocket>* socket) {
  ClientStatus status = kClientNoServer;
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

IpAddress IpOf(const SocketAddress& a) {
  IpAddress ip;
  ip.ipv6 = a.family == IpFamily::kIPv6;
  ip.bytes = a.bytes;
  return ip;
}

// Any account may publish a service of our type, so a service on this
// machine is the server only when root owns the socket listening at its
// port. Another machine's cannot be checked; "Server address" pins those.
bool IsTrustedServiceAddress(const SocketAddress* address) {
  if (address == nullptr) return false;
  IpAddress ip = IpOf(*address);
  if (!IsOwnAddress(ip)) return true;
  std::optional<uint32_t> owner = ListeningSocketUser(ip, address->port);
  if (owner == 0u) return true;
  if (owner) {
    std::printf("Ignoring service at port %u: it belongs to user %u, not root\n", address->port,
                *owner);
  } else {
    std::printf("Ignoring service at port %u: no listener of this machine found\n",
                address->port);
  }
  return false;
}

// Resolves `service` within what is left of `budget`; true when it resolved
// to a trusted address.
bool ResolveTrusted(DnsSdSession* session, const DnsSdService& service, const Deadline& budget,
                    std::vector<SocketAddress>* addresses) {
  double seconds = std::min(kResolveTimeoutSeconds, budget.RemainingMilliseconds() / 1000.0);
  if (seconds <= 0) return false;
  addresses->clear();
  int err = session->Resolve(service, seconds, addresses);
  if (err != 0) {
    std::printf("CFNetServiceResolve failed (err %i).\n", err);
    return false;
  }
  return IsTrustedServiceAddress(PickAddress(*addresses));
}

// Browses for up to the discovery window and takes the first service found
// that passes the check, else the one taken last time if it still passes.
// Resolving and checking stop when the window and one resolve time-out have
// passed, however many services a fake publishes.
bool Discover(DnsSdSession* session, std::vector<SocketAddress>* addresses) {
  LoaderState& s = State();
  s.session = session;
  s.browsers.clear();
  s.candidates.clear();
  Deadline window = Deadline::After(kDiscoveryWindowSeconds);
  Deadline budget = Deadline::After(kDiscoveryWindowSeconds + kResolveTimeoutSeconds);
  std::set<std::string> tried;
  auto fresh = [&tried](const DnsSdService& c) {
    return tried.insert(c.name + '\0' + c.type + '\0' + c.domain).second;
  };
  bool searching = session->SearchForDomains(DomainBrowserCallBack);
  size_t next = 0;
  while (searching) {
    if (next == s.candidates.size()) {
      if (window.Passed()) break;
      s.wait_ended = false;
      session->RunUntil(window, &s.wait_ended);
      continue;
    }
    DnsSdService candidate = s.candidates[next++];
    if (!fresh(candidate)) continue;
    if (ResolveTrusted(session, candidate, budget, addresses)) {
      s.found_service = candidate;
      return true;
    }
    if (budget.Passed()) break;
  }
  if (s.found_service && fresh(*s.found_service)) {
    return ResolveTrusted(session, *s.found_service, Deadline::After(kResolveTimeoutSeconds),
                          addresses);
  }
  return false;
}

// host, host:port, [v6]:port or a bare IPv6 address; the port defaults to
// the server's own.
bool ParseHostAndPort(std::string_view text, std::string* host, uint16_t* port) {
  std::string_view port_text;
  *port = kDefaultServerPort;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    *host = std::string(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || rest.size() == 1)) return false;
    if (!rest.empty()) port_text = rest.substr(1);
  } else if (size_t colon = text.find(':');
             colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
    *host = std::string(text.substr(0, colon));
    port_text = text.substr(colon + 1);
    if (port_text.empty()) return false;
  } else {
    *host = std::string(text);
  }
  if (host->empty()) return false;
  if (port_text.empty()) return true;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), value);
  if (ec != std::errc() || end != port_text.data() + port_text.size() || value == 0 ||
      value > 65535) {
    return false;
  }
  *port = static_cast<uint16_t>(value);
  return true;
}

// Root's "Server address", read once: as a preference, or else from the file
// the install tool's SetPrefKey writes (both only root may write). A value
// that does not parse still pins, to no server at all: a typo must not turn
// discovery, and with it any fake, back on.
void ReadPinnedServer() {
  LoaderState& s = State();
  if (s.pin_read || s.pinned) return;
  s.pin_read = true;
  std::optional<Plist> value = CopyPreference(pref::kServerAddress);
  if (!value) {
    auto file = ReadPlistFile(SystemPath(kPreferenceFile));
    const Plist* entry =
        file && file->IsDictionary() ? file->AsDictionary()->Find(pref::kServerAddress) : nullptr;
    if (entry != nullptr) value = *entry;
  }
  const std::string* text = value ? value->AsString() : nullptr;
  if (text == nullptr || text->empty()) return;
  s.pinned = true;
  if (!ParseHostAndPort(*text, &s.pinned_host, &s.pinned_port)) {
    std::printf("\"%s\" is not a server address; no server is used.\n",
                PrintableName(*text) ? text->c_str() : "?");
    s.pinned_host.clear();
  }
}

int HandleOf(const std::unique_ptr<StreamSocket>& socket) {
  return socket != nullptr ? socket->Handle() : 0;
}

}  // namespace

ClientStatus ConnectToServer() {
  LoaderState& s = State();
  if (s.server != nullptr) return kClientOK;
  ReadPinnedServer();
  if (s.pinned) {
    if (s.fixed_addresses.empty() && !s.pinned_host.empty()) {
      s.fixed_addresses = LookUpHost(s.pinned_host, s.pinned_port);
    }
    if (s.fixed_addresses.empty()) return kClientNoServer;
    std::unique_ptr<StreamSocket> socket;
    ClientStatus status = ConnectToAddresses(s.fixed_addresses, &socket);
    if (status == kClientOK) s.server = std::move(socket);
    return status;
  }

  int session_error = 0;
  std::unique_ptr<DnsSdSession> session = DnsSdSession::Open(&session_error);
  std::vector<SocketAddress> addresses;
  bool found = session != nullptr && Discover(session.get(), &addresses);
  if (session == nullptr && s.found_service) {
    std::printf("CFNetServiceResolve failed (err %i).\n", session_error);
  }

  ClientStatus status = kClientNoServer;
  std::unique_ptr<StreamSocket> socket;
  if (found) {
    status = ConnectToAddresses(addresses, &socket);
    if (status != kClientOK) {
      std::printf("Resolving streams failed err %i, wStream=%i, rStream=%i\n", status,
                  HandleOf(socket), HandleOf(socket));
    }
  }
  if (status == kClientOK) s.server = std::move(socket);
  // Stopping the session stops the domain browser and every service browser.
  s.browsers.clear();
  s.candidates.clear();
  s.session = nullptr;
  return status;
}

ClientStatus OpenLocalConnection(StreamSocket** connection) {
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

bool UsesLocalConnection(uint8_t command) { return command == kDisconnectionRequest; }

// The connection a request went over can no longer be trusted to be in step
// with the server: forget it.
void DropConnection(uint8_t command) {
  if (UsesLocalConnection(command)) {
    State().local.reset();
  } else {
    DropServerConnection();
  }
}

}  // namespace

ClientStatus SendCommand(uint8_t command, std::span<const uint8_t> payload, int timeout_seconds,
                         bool reply_wanted, std::optional<Bytes>* reply, bool* complete) {
  Deadline deadline = Deadline::After(timeout_seconds);
  if (reply != nullptr) reply->reset();
  if (complete != nullptr) *complete = false;
  // A kill must not wait for the server connection, which may be to another
  // machine and down, or take seconds of discovery to come back.
  StreamSocket* socket = nullptr;
  if (UsesLocalConnection(command)) {
    if (OpenLocalConnection(&socket) != kClientOK) return kClientNoServer;
  } else {
    if (ConnectToServer() != kClientOK) return kClientNoServer;
    socket = State().server.get();
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
      DropConnection(command);
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
  if (complete != nullptr) *complete = assembler.complete();
  if (reply != nullptr) *reply = assembler.TakeBody();
  return kClientOK;
}

ClientStatus SendLocalCommand(uint8_t command, std::span<const uint8_t> payload) {
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
  s.pinned = true;
  s.pinned_host = host;
  s.pinned_port = port;
  s.fixed_addresses = LookUpHost(host.c_str(), port);
  return !s.fixed_addresses.empty();
}

void SetClientOptions(const ClientOptions& options) {
  LoaderState& s = State();
  s.found_service.reset();
  s.server.reset();
  s.local.reset();
  s.local_port = options.local_server_port;
  s.service_type = options.service_type;
  s.fixed_addresses.clear();
  s.pinned = false;
  s.pin_read = false;
  s.pinned_host.clear();
}

}  // namespace corvane
