#include "ServerDaemon.h"

#include <cstdio>

#include "Platform/System/ProcessControl.h"
#include "PreferenceKeys.h"
#include "Preferences.h"
#include "ServerLog.h"
#include "SettingsAndStats.h"
#include "WireCodec.h"

namespace corvane {

ServerDaemon::ServerDaemon(EventLoop& loop, ServerData& data, bool local_mode, bool loopback_only)
    : loop_(loop), data_(data), local_mode_(local_mode), loopback_only_(loopback_only) {
  size_t limit = RaiseDescriptorLimit();
  // Leave room for the files, the listener and the DNS-SD connection.
  max_connections_ = limit > 64 ? limit - 64 : 16;
  data_.measure_home = [this](uint32_t uid, HomeFolderSizeCallback done) {
    home_walks_.Measure(uid, std::move(done));
  };
}

ServerDaemon::~ServerDaemon() {
  data_.measure_home = nullptr;
  // The loop's exit cuts its last turn short of its end: it ends here like
  // every other, so that turn's changes are saved by the same one save.
  _EndOfTurn();
  for (auto& [raw, context] : contexts_) context->Close();
  contexts_.clear();
}

void ServerDaemon::Run() {
  // Before anything can report readiness, so a prompt stop is never lost.
  loop_.HandleTerminationSignals([this](int) { loop_.Exit(0); });
  turn_end_ = loop_.AddTurnEnd([this] { _EndOfTurn(); });
  if (!turn_end_) {
    LogMessage("Server quitting: the event loop failed (%d)", -1);
    loop_failed_ = true;
    return;
  }
  StartListenerOrRetry();
  Status result = loop_.Run();
  if (!result.ok()) {
    LogMessage("Server quitting: the event loop failed (%d)", -result.Errno());
    loop_failed_ = true;
  }
  if (server_) server_->InvalidateServer();
}

bool ServerDaemon::StartListener() {
  server_ = ServerListener::CreateServer(
      loop_,
      [this](ServerListener& listener, AcceptedConnection* connection, int domain, int code) {
        AcceptConnection(listener, connection, domain, code);
      });
  if (!server_) return false;
  uint32_t port = kDefaultServerPort;
  if (PreferenceFlag(pref::kUseCustomPort, false)) {
    // A negative value reads as a huge unsigned port, which the listener
    // refuses.
    port = static_cast<uint32_t>(PreferenceInteger(pref::kCustomPort).value_or(kDefaultServerPort));
  }
  const char* type = local_mode_ ? kLocalServiceType : kServiceType;
  if (server_->RegisterServer("", type, port, loopback_only_).ok()) return true;
  // The old object is abandoned with its sockets closed.
  server_.reset();
  return false;
}

void ServerDaemon::StartListenerOrRetry() {
  if (StartListener()) {
    LogMessage("Bonjour settings done. Waiting for client...");
    NotifyServiceReady();
    return;
  }
  LogMessage("Cannot start Bonjour server. retrying in 60 seconds...");
  // Waiting on the loop rather than in sleep() keeps SIGTERM working.
  retry_timer_ = loop_.AddTimer(kListenerRetrySeconds, [this] { StartListenerOrRetry(); });
}

void ServerDaemon::AcceptConnection(ServerListener& listener, AcceptedConnection* connection,
                                    int domain, int code) {
  if (connection == nullptr) {
    std::fprintf(stderr, "AcceptConnection - Received an error (%d, %d)\n", domain, code);
    std::fflush(stderr);
    publication_failed_ = true;
    // Out of the DNS-SD library's callback before the server goes.
    loop_.Defer([this] {
      server_->InvalidateServer();
      server_.reset();
      loop_.Exit(0);
    });
    return;
  }
  if (contexts_.size() >= max_connections_) return;  // closed as it goes out of scope
  auto context = std::make_unique<ClientContext>(loop_, data_, std::move(*connection), *this);
  ClientContext* raw = context.get();
  contexts_.emplace(raw, std::move(context));
  raw->Open();
}

void ServerDaemon::ReleaseAfterSave(ClientContext* context) { to_release_.push_back(context); }

void ServerDaemon::Closed(ClientContext* context) { closed_.push_back(context); }

void ServerDaemon::_EndOfTurn() {
  // Releasing may close connections, which lists them for freeing below.
  std::vector<ClientContext*> release;
  release.swap(to_release_);
  // Replies that wait for no save go before the save blocks the loop.
  for (ClientContext* context : release) context->ReleaseReplies();
  // The server's only save: once a turn, for every change of the turn.
  if (SaveIfPending(data_)) {
    for (auto& [raw, context] : contexts_) {
      if (context->holding()) context->ReleaseReplies();
    }
  }
  // Freed here, never inside their own callbacks.
  for (ClientContext* context : closed_) contexts_.erase(context);
  closed_.clear();
}

}  // namespace corvane
