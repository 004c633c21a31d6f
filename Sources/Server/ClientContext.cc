#include "ClientContext.h"

#include <assert.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <span>

#include "DispatchCommand.h"
#include "Platform/Network/PeerUser.h"
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

SearchBudget ClientContext::process_searches;

ClientContext::ClientContext(EventLoop& loop, ServerData& data, AcceptedConnection connection,
                             ConnectionTurn& turn)
    : loop_(loop),
      data_(data),
      socket_(std::move(connection.socket)),
      loopback_peer_(connection.loopback_peer),
      peer_(connection.peer),
      turn_(turn) {}

ClientContext::~ClientContext() {
  assert(closed() && "ClientContext: freed while its socket is still open");
}

bool ClientContext::Open() {
  watch_ = loop_.WatchFd(socket_.get(), EventLoop::kReadable,
                         [this](uint32_t events) { _SocketCallBack(events); });
  if (!watch_) {
    Close();
    return false;
  }
  // A new connection can take bytes at once.
  LogMessage("Connection with client initialized\n");
  return true;
}

void ClientContext::Close() {
  if (closed()) return;
  watch_.reset();
  socket_.Close();
  turn_.Closed(this);
}

std::string ClientContext::Description() const {
  char text[96];
  std::snprintf(text, sizeof text, "<ClientContext %p>{socket=%d, buffered=%zu, unsent=%zu}",
                static_cast<const void*>(this), socket_.get(), received_.size() - received_start_,
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
  if (close_after_save_) return;  // reads nothing more
  if (events & (EventLoop::kReadable | EventLoop::kHangUp | EventLoop::kError)) HandleReadable();
}

void ClientContext::HandleReadable() {
  uint8_t chunk[kReadChunkBytes];
  Transfer read = ReadSome(socket_, chunk, sizeof chunk);
  if (read.outcome == Transfer::Outcome::kWouldBlock) return;
  if (read.outcome != Transfer::Outcome::kMoved) {
    // End of stream or a stream error: a request only partly received is
    // dropped with the connection. What earlier reads changed was saved at
    // the end of their turn.
    Close();
    return;
  }
  received_.insert(received_.end(), chunk, chunk + read.bytes);
  HandleBufferedRequests();
}

void ClientContext::HandleBufferedRequests() {
  for (;;) {
    std::span<const uint8_t> pending(received_.data() + received_start_,
                                     received_.size() - received_start_);
    FrameResult frame = PeekRequestFrame(pending);
    if (frame.state == FrameState::kBadLength) {
      LogMessage("Closing a connection: request length %u is outside %zu to %u", frame.length,
                 kRequestHeaderSize, kMaxRequestLength);
      // What earlier requests changed still goes to disk, and their
      // replies out, with the turn's save.
      close_after_save_ = true;
      received_.clear();
      received_start_ = 0;
      // Reads nothing more; level-triggered, the watch would fire each turn.
      watch_->SetIoEvents(watching_writable_ ? EventLoop::kWritable : 0u);
      ListForRelease();
      return;
    }
    if (frame.state == FrameState::kIncomplete) break;
    uint64_t changes = data_.changes_to_save;
    auto reply = DispatchCommand(data_, pending.first(frame.length),
                                 {loopback_peer_, peer_, [this] { return IdentifyPeer(); },
                                  [this] { return HoldReplyPlace(); },
                                  [this] { return IdentifyProcess(); }, &notes_});
    if (data_.changes_to_save != changes) own_changes_save_ = data_.saves_started + 1;
    if (reply) {
      // Every reply is about the user in the request's first field.
      size_t next = 0;
      auto user = ReadStringField(pending.first(frame.length), kRequestHeaderSize, &next);
      QueueReply(*reply, user ? std::optional<std::string_view>(*user) : std::nullopt);
    }
    received_start_ += frame.length;
  }
  received_.erase(received_.begin(), received_.begin() + static_cast<long>(received_start_));
  received_start_ = 0;
}

LocalPeer ClientContext::IdentifyPeer() {
  if (identity_) return *identity_;
  // A peer using this machine's own network address is as local as one on
  // loopback: its address must not pass it off as an admin machine.
  LocalPeer peer;
  peer.local = loopback_peer_ || IsOwnAddress(peer_);
  if (peer.local) peer.user = LocalPeerUser(socket_);
  // A peer not found now may be found at a later request.
  if (!peer.local || peer.user) identity_ = peer;
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
  bool cached_only = now < next_process_search_ || !process_searches.Take(now);
  auto holder = FindSocketHolder(peer->inode, peer->user, peer_holder_, cached_only);
  if (!cached_only) next_process_search_ = now + kProcessSearchInterval;
  if (!holder) return std::nullopt;
  peer_holder_ = *holder;
  return PeerProcess{holder->pid, peer->user};
}

void ClientContext::QueueReply(const std::string& body, std::optional<std::string_view> about_user) {
  if (closed()) return;
  uint64_t save = own_changes_save_;
  if (about_user) save = std::max(save, data_.SaveCovering(*about_user));
  if (!later_.empty()) {
    // Behind a reply still being worked out: it keeps its place.
    later_.push_back({next_later_id_++, true, body, save});
    later_bytes_ += body.size();
    return;
  }
  AppendReply(body, save);
}

void ClientContext::AppendReply(const std::string& body, uint64_t save) {
  uint8_t length[kReplyHeaderSize];
  StoreBigEndian32(static_cast<uint32_t>(body.size()), length);
  unsent_.append(reinterpret_cast<const char*>(length), sizeof length);
  unsent_.append(body);
  held_.emplace_back(unsent_.size(), save);
  ListForRelease();
}

std::function<void(const std::string&)> ClientContext::HoldReplyPlace() {
  uint64_t id = next_later_id_++;
  later_.push_back({id, false, {}, 0});
  std::weak_ptr<ClientContext*> self = self_;
  return [self, id](const std::string& body) {
    if (auto context = self.lock()) (*context)->FillLaterReply(id, body);
  };
}

void ClientContext::FillLaterReply(uint64_t id, const std::string& body) {
  if (closed()) return;
  for (LaterReply& later : later_) {
    if (later.id != id || later.known) continue;
    later.known = true;
    later.body = body;
    later.save = own_changes_save_;
    later_bytes_ += body.size();
  }
  while (!later_.empty() && later_.front().known) {
    later_bytes_ -= later_.front().body.size();
    AppendReply(later_.front().body, later_.front().save);
    later_.pop_front();
  }
}

void ClientContext::ListForRelease() {
  if (listed_) return;
  listed_ = true;
  turn_.ReleaseAfterSave(this);
}

void ClientContext::ReleaseReplies() {
  listed_ = false;
  if (closed()) return;
  while (!held_.empty() && held_.front().second <= data_.saves_done) {
    released_end_ = held_.front().first;
    held_.pop_front();
  }
  if (!FlushReplies()) return;
  if (close_after_save_ && held_.empty() && own_changes_save_ <= data_.saves_done) Close();
}

bool ClientContext::FlushReplies() {
  // Replies a peer keeps piling up behind one still being worked out count
  // against the same bound as replies it does not take.
  if (later_.size() > kMaxLaterReplies || later_bytes_ > kMaxQueuedReplyBytes) {
    LogMessage("Closing a connection: %zu replies wait behind one not yet known", later_.size());
    Close();
    return false;
  }
  while (unsent_start_ < released_end_) {
    Transfer written =
        WriteSome(socket_, unsent_.data() + unsent_start_, released_end_ - unsent_start_);
    if (written.outcome == Transfer::Outcome::kWouldBlock) break;
    if (written.outcome != Transfer::Outcome::kMoved) {
      LogMessage("An error occured in the stream.");
      Close();
      return false;
    }
    unsent_start_ += written.bytes;
  }
  if (unsent_start_ == unsent_.size()) {
    unsent_.clear();
    unsent_start_ = released_end_ = 0;
  } else if (unsent_start_ == released_end_) {
    // Only held replies are left: nothing to wait for room for.
  } else if (unsent_.size() - unsent_start_ > kMaxQueuedReplyBytes) {
    LogMessage("Closing a connection: more than %zu bytes of replies are not taken",
               kMaxQueuedReplyBytes);
    Close();
    return false;
  } else {
    waiting_for_room_ = true;
    if (unsent_start_ >= kMaxQueuedReplyBytes / 4) {
      unsent_.erase(0, unsent_start_);
      released_end_ -= unsent_start_;
      for (auto& [end, save] : held_) end -= unsent_start_;
      unsent_start_ = 0;
    }
  }
  UpdateWatchedEvents();
  return true;
}

void ClientContext::UpdateWatchedEvents() {
  bool want_writable = unsent_start_ < released_end_;
  // Changing the watch is a system call: only when it changes.
  if (want_writable == watching_writable_) return;
  watching_writable_ = want_writable;
  uint32_t events = close_after_save_ ? 0u : static_cast<uint32_t>(EventLoop::kReadable);
  if (want_writable) events |= EventLoop::kWritable;
  watch_->SetIoEvents(events);
}

}  // namespace corvane
