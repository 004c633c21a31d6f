// The client side of the server connection, shared by the agent and the
// statistics tool: finds the server through DNS-SD, keeps one connection to
// it, and sends framed requests synchronously. Kill requests go over a second
// connection to the server on this machine. One set of state per process;
// use from one thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "WireCodec.h"

namespace corvane {

class StreamSocket;

inline constexpr const char* kServiceType = "_corvane5._tcp";
inline constexpr double kDiscoveryWindowSeconds = 3.0;
inline constexpr double kResolveTimeoutSeconds = 5.0;
inline constexpr int kConnectAttempts = 30;
inline constexpr int kConnectPauseTicks = 10;  // ticks of 1/60 second
inline constexpr const char* kLocalServerHost = "localhost";
// Status codes of ConnectToServer and SendCommand.
enum ClientStatus {
  kClientOK = 0,
  kClientNoServer = -1,          // nothing found, resolve failed, or no local connection
  kClientNotWritten = -2,        // not writable yet / request not fully written / connection lost
  kClientStreamPairFailed = -3,  // no socket could be made
  kClientOpenFailed = -4,        // the connect could not be started
};

// kClientOK when the server connection exists (made now or earlier). The
// server is the one root's "Server address" or UseServerAddress names;
// otherwise the first service discovery finds that is on another machine
// or, on this machine, listens on a socket of root's.
ClientStatus ConnectToServer();

// Sends `command` with `payload` and, when `reply_wanted`, collects the reply
// until `timeout_seconds` have passed since the call. With kClientOK and a
// wanted reply, *reply holds the body without its length bytes; it may be
// shorter than announced, or empty, when the deadline came first, and then
// *complete (when given) is false. Without a complete reply the server
// connection is dropped, so a late answer can never be read as the answer
// to the next request. A kill request goes over the local connection only
// and never waits for the server connection.
ClientStatus SendCommand(uint8_t command, std::span<const uint8_t> payload, int timeout_seconds,
                         bool reply_wanted, std::optional<Bytes>* reply, bool* complete = nullptr);

// The connection to the server on this machine; kClientNoServer when it
// cannot be opened. The connection stays owned by this module.
ClientStatus OpenLocalConnection(StreamSocket** connection);

// The port of the server on this machine: kDefaultServerPort unless a test
// chose another.
uint16_t LocalServerPort();
// Sends a request that wants no reply over the local connection alone,
// opening it when needed; the server connection plays no part. One write:
// a request the socket does not take whole drops the connection, so the
// next one starts in step on a fresh connection.
ClientStatus SendLocalCommand(uint8_t command, std::span<const uint8_t> payload);

// Forgets the server connection; the service found stays remembered.
void DropServerConnection();

// Prints the reconnect notice to standard error and drops the connection.
void ReportReconnect();

// Talk to the server at host:port instead of discovering one (an admin
// tool's explicit choice, over root's "Server address"). True when the host
// name resolved to an address.
bool UseServerAddress(const std::string& host, uint16_t port);

// Where this process looks for its servers. A program sets them once at
// start; tests set them to run a server of their own beside any real one.
struct ClientOptions {
  // The DNS-SD service type browsed for.
  std::string service_type = kServiceType;
  // Where the local connection (kill requests) goes.
  uint16_t local_server_port = kDefaultServerPort;
};
// Takes `options` and forgets every server found or named and every
// connection, as in a new process.
void SetClientOptions(const ClientOptions& options);

}  // namespace corvane
