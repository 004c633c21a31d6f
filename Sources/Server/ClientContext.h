// One accepted connection: its socket, the receive buffer with the framing
// of requests, and the queue of replies not yet taken by the socket.
//
// Each readable event reads once, hands every complete request to
// DispatchCommand in arrival order, saves what those requests changed, and
// only then sends their replies: nothing is answered before it is on disk,
// and nothing more is read before the last read's effects are on disk.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DispatchCommand.h"
#include "Platform/EventLoop.h"
#include "Platform/ProcessFacts.h"
#include "Platform/TcpSocket.h"
#include "ServerData.h"

namespace corvane {

// Bounds per connection. A request declares at most kMaxRequestLength
// bytes, so the receive buffer holds at most that plus one read.
inline constexpr size_t kReadChunkBytes = 2048;
inline constexpr size_t kMaxQueuedReplyBytes = 1u << 20;
// Replies held behind one that comes later (a home folder being measured):
// more than this many, or more than kMaxQueuedReplyBytes of them, closes the
// connection.
inline constexpr size_t kMaxHeldReplies = 16384;

// Searches for the process holding a peer's socket: one per connection and
// interval, a few a second for all connections.
inline constexpr std::chrono::seconds kProcessSearchInterval{10};
inline constexpr int kProcessSearchesPerSecond = 20;
class SearchBudget {
 public:
  bool Take(std::chrono::steady_clock::time_point now);

 private:
  std::chrono::steady_clock::time_point window_start_{};
  int used_ = 0;
};

class ClientContext {
 public:
  using ClosedCallback = std::function<void(ClientContext*)>;

  ClientContext(EventLoop& loop, ServerData& data, AcceptedConnection connection,
                ClosedCallback on_closed);
  ~ClientContext();
  ClientContext(const ClientContext&) = delete;
  ClientContext& operator=(const ClientContext&) = delete;

  // Starts watching the socket. False when it cannot; the context is then
  // closed.
  bool Open();
  // Stops watching, closes the socket and reports the close once. The
  // owner frees the context later, never inside this call.
  void Close();
  bool closed() const { return !socket_.valid(); }

  std::string Description() const;

 private:
  void _SocketCallBack(uint32_t events);
  void HandleReadable();
  // Handles every complete request buffered; false when the connection had
  // to be closed (bad length).
  bool HandleBufferedRequests();
  // Whether the peer is on this machine, and its user; asked per request
  // that needs it, while the peer's socket is open.
  LocalPeer IdentifyPeer() const;
  // The process of this machine holding the peer's socket; the one found
  // last time is checked first, which costs one system call.
  std::optional<PeerProcess> IdentifyProcess();
  // Queues the reply frame, behind any reply whose place is held.
  void QueueReply(const std::string& body);
  // Holds the place of a reply that comes later (RequestOrigin::reply_later).
  std::function<void(const std::string&)> HoldReplyPlace();
  void FillHeldReply(uint64_t id, const std::string& body);
  void AppendReplyFrame(const std::string& body);
  // Writes what the socket takes; false when the connection was closed.
  bool FlushReplies();
  void UpdateWatchedEvents();

  EventLoop& loop_;
  ServerData& data_;
  SocketHandle socket_;
  bool loopback_peer_ = false;
  IpAddress peer_;
  ClosedCallback on_closed_;
  std::unique_ptr<EventLoop::Source> _watch;
  SocketHolder peer_holder_;
  std::chrono::steady_clock::time_point next_process_search_{};
  static SearchBudget process_searches_;

  std::vector<uint8_t> received_;
  size_t received_start_ = 0;  // bytes of received_ already handled
  std::string unsent_;
  size_t unsent_start_ = 0;    // bytes of unsent_ already written
  bool waiting_for_room_ = false;
  bool watching_writable_ = false;

  // Replies in request order from the first one not yet known: each goes
  // to unsent_ once every reply before it is known.
  struct HeldReply {
    uint64_t id;
    bool known;
    std::string body;
  };
  std::deque<HeldReply> held_;
  size_t held_bytes_ = 0;
  uint64_t next_held_id_ = 0;
  // Expires with the context: a reply that comes after it is dropped.
  std::shared_ptr<ClientContext*> self_ = std::make_shared<ClientContext*>(this);
};

}  // namespace corvane
