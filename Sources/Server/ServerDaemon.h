// The running server: its loop, its trees, the listener with its 60-second
// retry, and every open connection.
//
// Requests are handled as their bytes arrive, on any connection, and change
// only memory. Once per loop turn, after every callback of the turn, the
// server sends the replies that wait for no save, saves both files once if
// anything asks for it, sends the replies that save covered, then frees the
// connections that closed. Requests that arrive during a save are all
// covered by the next one. No reply leaves before what its connection
// changed and what it shows are on disk. A handler that answers from
// another source of the loop (a timer, a child process) queues its reply on
// the connection and calls ChangeToSave for what it changed; the same turn
// end covers it.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "ClientContext.h"
#include "HomeFolderWalks.h"
#include "Platform/System/EventLoop.h"
#include "ServerListener.h"
#include "ServerData.h"

namespace corvane {

inline constexpr double kListenerRetrySeconds = 60;
inline constexpr const char* kServiceType = "_corvane5._tcp";
inline constexpr const char* kLocalServiceType = "_corvane5local._tcp";

class ServerDaemon : public ConnectionTurn {
 public:
  ServerDaemon(EventLoop& loop, ServerData& data, bool local_mode, bool loopback_only);
  ~ServerDaemon();

  // Starts the listener (retrying every 60 seconds) and runs the loop. Returns
  // when a signal stops the server or the publication fails.
  void Run();
  // True when the loop ended because the publication failed.
  bool publication_failed() const { return publication_failed_; }
  // True when the loop itself broke down.
  bool loop_failed() const { return loop_failed_; }

 private:
  bool StartListener();
  void StartListenerOrRetry();
  void AcceptConnection(ServerListener& listener, AcceptedConnection* connection, int domain,
                        int code);
  void ReleaseAfterSave(ClientContext* context) override;
  void Closed(ClientContext* context) override;
  void _EndOfTurn();

  EventLoop& loop_;
  ServerData& data_;
  bool local_mode_;
  bool loopback_only_;
  bool publication_failed_ = false;
  bool loop_failed_ = false;
  size_t max_connections_ = 0;
  std::unique_ptr<ServerListener> server_;
  std::unique_ptr<EventLoop::Source> retry_timer_;
  std::unique_ptr<EventLoop::Source> turn_end_;
  std::vector<ClientContext*> to_release_;  // listed this turn
  std::vector<ClientContext*> closed_;      // to free at the turn's end
  std::unordered_map<ClientContext*, std::unique_ptr<ClientContext>> contexts_;
  HomeFolderWalks home_walks_{loop_};
};

}  // namespace corvane
