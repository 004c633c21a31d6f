#include "ClientContext.h"

#include <assert.h>

#include <chrono>
#include <cstdio>
#include <span>

#include "DispatchCommand.h"
#include "Platform/PeerUser.h"
#include "ServerLog.h"
#include "SettingsAndStats.h"
#include "WireCodec.h"

namespace corvane {

bool SearchBudget::Take(std::chrono::steady_clock::time_point now) {
  if (now - window_start_ >= std::chrono::seconds(1)) {
    window_start_ = now;
    used_ = 0;
  }
  if (used_ >= kProcessSearchesPerSecond) return false;
  ++used_;
  return true;
}

SearchBudget ClientContext::process_searches_;

ClientContext::ClientContext(EventLoop& loop, ServerData& data, AcceptedConnection connection,
                             ClosedCallback on_closed)
    : loop_(loop),
      data_(data),
      socket_(std::move(connection.socket)),
      loopback_peer_(connection.loopback_peer),
      peer_(connection.peer),
      on_closed_(std::move(on_closed)) {}

ClientContext::~ClientContext() {
  assert(closed() && "ClientContext: freed while its socket is still open");
}

bool ClientContext::Open() {
  _watch = loop_.WatchFd(socket_.fd(), EventLoop::kReadable,
                         [this](uint32_t events) { _SocketCallBack(events); });
  if (!_watch) {
    Close();
    return false;
  }
  // A new connection can take bytes at once.
  LogMessage("Connection with client initialized\n");
  return true;
}

void ClientContext::Close() {
  if (closed()) return;
  _watch.reset();
  socket_.Close();
  if (on_closed_) on_closed_(this);
}

std::string ClientContext::Description() const {
  char text[96];
  std::snprintf(text, sizeof text, "<ClientContext %p>{socket=%d, buffered=%zu, unsent=%zu}",
                static_cast<const void*>(this), socket_.fd(), received_.size() - received_start_,
                unsent_.size() - unsent_start_);
  return text;
}

void ClientContext::_SocketCallBack(uint32_t events) {
  assert(!closed() && "ClientContext: event for a closed connection");
  if (events & EventLoop::kWritable) {
    if (waiting_for_room_) LogMessage("Connection with client initialized\n");
    waiting_for_room_ = false;
    if (!FlushReplies()) return;
  }
  if (events & (EventLoop::kReadable | EventLoop::kHangUp | EventLoop::kError)) HandleReadable();
}

void ClientContext::HandleReadable() {
  uint8_t chunk[kReadChunkBytes];
  long n = ReadSome(socket_, chunk, sizeof chunk);
  if (n == kWouldBlock) return;
  if (n <= 0) {
    // End of stream or a stream error: a request only partly received is
    // dropped with the connection.
    Close();
    return;
  }
  received_.insert(received_.end(), chunk, chunk + n);
  if (!HandleBufferedRequests()) return;
  SaveIfPending(data_);
  FlushReplies();
}

bool ClientContext::HandleBufferedRequests() {
  for (;;) {
    std::span<const uint8_t> pending(received_.data() + received_start_,
                                     received_.size() - received_start_);
    FrameResult frame = PeekRequestFrame(pending);
    if (frame.state == FrameState::kBadLength) {
      LogMessage("Closing a connection: request length %u is outside %zu to %u", frame.length,
                 kRequestHeaderSize, kMaxRequestLength);
      // What earlier requests of this read changed still goes to disk.
      SaveIfPending(data_);
      Close();
      return false;
    }
    if (frame.state == FrameState::kIncomplete) break;
    auto reply = DispatchCommand(data_, pending.first(frame.length),
                                 {loopback_peer_, peer_, [this] { return IdentifyPeer(); },
                                  [this] { return HoldReplyPlace(); },
                                  [this] { return IdentifyProcess(); }});
    if (reply) QueueReply(*reply);
    received_start_ += frame.length;
  }
  received_.erase(received_.begin(), received_.begin() + static_cast<long>(received_start_));
  received_start_ = 0;
  return true;
}

LocalPeer ClientContext::IdentifyPeer() const {
  // A peer using this machine's own network address is as local as one on
  // loopback: its address must not pass it off as an admin machine.
  LocalPeer peer;
  peer.local = loopback_peer_ || IsOwnAddress(peer_);
  if (peer.local) peer.user = LocalPeerUser(socket_);
  return peer;
}

std::optional<PeerProcess> ClientContext::IdentifyProcess() {
  if (!loopback_peer_ && !IsOwnAddress(peer_)) return std::nullopt;
  auto peer = LocalPeerSocket(socket_);
  if (!peer) return std::nullopt;
  // Looking through every process's descriptors costs; a peer that sends
  // from ever new connections gets one such search per connection and
  // interval, and all peers together a few a second. A peer not found is
  // not credited: it can only lose by it.
  auto now = std::chrono::steady_clock::now();
  bool cached_only = now < next_process_search_ || !process_searches_.Take(now);
  auto holder = FindSocketHolder(peer->inode, peer->user, peer_holder_, cached_only);
  if (!cached_only) next_process_search_ = now + kProcessSearchInterval;
  if (!holder) return std::nullopt;
  peer_holder_ = *holder;
  return PeerProcess{holder->pid, peer->user};
}

void ClientContext::QueueReply(const std::string& body) {
  if (!held_.empty()) {
    held_.push_back({next_held_id_++, true, body});
    held_bytes_ += body.size();
    return;
  }
  AppendReplyFrame(body);
}

void ClientContext::AppendReplyFrame(const std::string& body) {
  uint8_t length[kReplyHeaderSize];
  StoreBigEndian32(static_cast<uint32_t>(body.size()), length);
  unsent_.append(reinterpret_cast<const char*>(length), sizeof length);
  unsent_.append(body);
}

std::function<void(const std::string&)> ClientContext::HoldReplyPlace() {
  uint64_t id = next_held_id_++;
  held_.push_back({id, false, {}});
  std::weak_ptr<ClientContext*> self = self_;
  return [self, id](const std::string& body) {
    if (auto context = self.lock()) (*context)->FillHeldReply(id, body);
  };
}

void ClientContext::FillHeldReply(uint64_t id, const std::string& body) {
  if (closed()) return;
  for (HeldReply& held : held_) {
    if (held.id != id || held.known) continue;
    held.known = true;
    held.body = body;
    held_bytes_ += body.size();
  }
  bool released = false;
  while (!held_.empty() && held_.front().known) {
    held_bytes_ -= held_.front().body.size();
    AppendReplyFrame(held_.front().body);
    held_.pop_front();
    released = true;
  }
  if (released) FlushReplies();
}

bool ClientContext::FlushReplies() {
  // Replies a peer keeps piling up behind one still being worked out count
  // against the same bound as replies it does not take.
  if (held_.size() > kMaxHeldReplies || held_bytes_ > kMaxQueuedReplyBytes) {
    LogMessage("Closing a connection: %zu replies wait behind one not yet known", held_.size());
    Close();
    return false;
  }
  while (unsent_start_ < unsent_.size()) {
    long n = WriteSome(socket_, unsent_.data() + unsent_start_, unsent_.size() - unsent_start_);
    if (n == kWouldBlock) break;
    if (n < 0) {
      LogMessage("An error occured in the stream.");
      Close();
      return false;
    }
    unsent_start_ += static_cast<size_t>(n);
  }
  if (unsent_start_ == unsent_.size()) {
    unsent_.clear();
    unsent_start_ = 0;
  } else if (unsent_.size() - unsent_start_ > kMaxQueuedReplyBytes) {
    LogMessage("Closing a connection: more than %zu bytes of replies are not taken",
               kMaxQueuedReplyBytes);
    Close();
    return false;
  } else {
    waiting_for_room_ = true;
    if (unsent_start_ >= kMaxQueuedReplyBytes / 4) {
      unsent_.erase(0, unsent_start_);
      unsent_start_ = 0;
    }
  }
  UpdateWatchedEvents();
  return true;
}

void ClientContext::UpdateWatchedEvents() {
  bool want_writable = unsent_start_ < unsent_.size();
  // Changing the watch is a system call: only when it changes.
  if (want_writable == watching_writable_) return;
  watching_writable_ = want_writable;
  uint32_t events = EventLoop::kReadable;
  if (want_writable) events |= EventLoop::kWritable;
  _watch->SetIoEvents(events);
}

}  // namespace corvane
