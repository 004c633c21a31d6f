// One accepted connection: its socket, the receive buffer with the framing
// of requests, and the queue of replies not yet taken by the socket.
//
// Each readable event reads once and hands every complete request to
// DispatchCommand in arrival order. A reply is held until the save that
// covers what it shows and everything this connection changed before it is
// on disk; the owner saves once for all connections at the end of a loop
// turn and then releases what may go. Nothing is answered before it is on
// disk, and replies leave in request order.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string_view>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/System/EventLoop.h"
#include "Platform/System/ProcessFacts.h"
#include "Platform/Network/TcpSocket.h"
#include "RequestOrigin.h"
#include "ServerData.h"

namespace corvane {

// Bounds per connection. A request declares at most kMaxRequestLength
// bytes, so the receive buffer holds at most that plus one read.
inline constexpr size_t kReadChunkBytes = 2048;
inline constexpr size_t kMaxQueuedReplyBytes = 1u << 20;
// Replies waiting behind one that comes later (a home folder being
// measured): more than this many, or more than kMaxQueuedReplyBytes of them,
// closes the connection.
inline constexpr size_t kMaxLaterReplies = 16384;

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

class ClientContext;

// What the server does for its connections at the end of each loop turn.
class ConnectionTurn {
 public:
  virtual ~ConnectionTurn() = default;
  // `context` holds replies queued this turn, or is to close once the
  // turn's save is done: the owner calls ReleaseReplies() after that save.
  virtual void ReleaseAfterSave(ClientContext* context) = 0;
  // `context` closed; the owner frees it at the end of the turn, never
  // inside its own callback.
  virtual void Closed(ClientContext* context) = 0;
};

class ClientContext {
 public:
  ClientContext(EventLoop& loop, ServerData& data, AcceptedConnection connection,
                ConnectionTurn& turn);
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

  // Queues the reply to the connection's next request, held at least until
  // the save of what this connection changed before it is done (and
  // `about_user`'s unsaved changes, if given); replies leave in the order
  // they were queued. Handlers that answer later (from another source of
  // the loop) use it the same way.
  void QueueReply(const std::string& body, std::optional<std::string_view> about_user = {});
  // After a save: sends the held replies it covered, and closes a
  // connection that was to close once its changes were saved.
  void ReleaseReplies();
  bool holding() const { return !held_.empty() || close_after_save_; }

  std::string Description() const;

 private:
  void _SocketCallBack(uint32_t events);
  void HandleReadable();
  // Handles every complete request buffered; a bad length stops reading
  // and closes the connection after the turn's save.
  void HandleBufferedRequests();
  // Whether the peer is on this machine, and its user; asked when a request
  // first needs it, while the peer's socket is open, and then kept: the
  // owner of a socket does not change.
  LocalPeer IdentifyPeer();
  // The process of this machine holding the peer's socket; the one found
  // last time is checked first, which costs one system call.
  std::optional<PeerProcess> IdentifyProcess();
  // Holds the place of a reply that comes later (RequestOrigin::reply_later);
  // the function returned fills it, and does nothing once the context is gone.
  std::function<void(const std::string&)> HoldReplyPlace();
  void FillLaterReply(uint64_t id, const std::string& body);
  void AppendReply(const std::string& body, uint64_t save);
  void ListForRelease();
  // Writes what the socket takes of the released replies; false when the
  // connection was closed.
  bool FlushReplies();
  void UpdateWatchedEvents();

  EventLoop& loop_;
  ServerData& data_;
  SocketHandle socket_;
  bool loopback_peer_ = false;
  IpAddress peer_;
  ConnectionTurn& turn_;
  std::unique_ptr<EventLoop::Source> watch_;
  SocketHolder peer_holder_;
  std::chrono::steady_clock::time_point next_process_search_{};
  static SearchBudget process_searches;
  std::optional<LocalPeer> identity_;
  PeerNotes notes_;
  bool listed_ = false;          // told the owner this turn
  bool close_after_save_ = false;

  std::vector<uint8_t> received_;
  size_t received_start_ = 0;  // bytes of received_ already handled
  std::string unsent_;
  size_t unsent_start_ = 0;    // bytes of unsent_ already written
  size_t released_end_ = 0;    // bytes of unsent_ that may be written
  // Held replies: where each ends in unsent_, and the save it waits for.
  std::deque<std::pair<size_t, uint64_t>> held_;
  uint64_t own_changes_save_ = 0;  // the save covering this peer's changes
  // Replies in request order from the first one not yet known: each joins
  // unsent_ once every reply before it is known.
  struct LaterReply {
    uint64_t id;
    bool known;
    std::string body;
    uint64_t save;
  };
  std::deque<LaterReply> later_;
  size_t later_bytes_ = 0;
  uint64_t next_later_id_ = 0;
  // Expires with the context: a reply that comes after it is dropped.
  std::shared_ptr<ClientContext*> self_ = std::make_shared<ClientContext*>(this);
  bool waiting_for_room_ = false;
  bool watching_writable_ = false;
};

}  // namespace corvane
