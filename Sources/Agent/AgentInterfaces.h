// The narrow interfaces through which the agent's logic reaches the user, the
// system and the server. The logic links no Qt and no X11; the program wires
// real implementations in, tests step the logic with their own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "AbsoluteTime.h"
#include "AppSettings.h"
#include "WatchedApp.h"

namespace corvane {

enum class CreditWarningKind { kLastMinute = 0, kNoCredit = 1, kFiveMinutes = 2 };

// Everything the tick shows. The Show… calls block until the window is gone
// (a nested event loop may run meanwhile and change the WatchedAppList).
class AgentUserInterface {
 public:
  virtual ~AgentUserInterface() = default;
  // Full-screen black window, red text; pauses the tick timer while shown and
  // re-arms it one second after it goes. `text` is a key or a final text.
  virtual void ShowBlockingMessage(const std::string& text, bool with_timers) = 0;
  // `record` stays alive for the call; the window redraws from it.
  virtual void ShowCreditWarning(const WatchedApp& record, CreditWarningKind kind) = 0;
  virtual void ShowCurfewWarning(bool is_early, const WatchedApp& record, double curfew_minutes) = 0;
  // Status item.
  virtual void RemoveAppMenuItem(int32_t pid) = 0;
  virtual void SetDiskMenuItem(bool has_quota, int64_t quota_bytes, int64_t used_bytes) = 0;
  // First step of every pass: refreshes the app items while the menu asks for it.
  virtual void TickStatusMenu() = 0;
  // Credit strip.
  virtual void ShowCreditStrip() = 0;
  virtual void RefreshCreditStrip() = 0;
  // Last step of every pass: the strip's countdown and fade-out.
  virtual void TickCreditStrip() = 0;
};

// The machine, as the agent's logic needs it.
class AgentSystem {
 public:
  virtual ~AgentSystem() = default;
  virtual AbsoluteTime Now() = 0;
  // Signal 0 reaches the process.
  virtual bool IsProcessAlive(int32_t pid) = 0;
  // The process belongs to the session's user: only those are its
  // applications.
  virtual bool IsSessionUsersProcess(int32_t pid) = 0;
  // Signal 9; false when it could not be sent.
  virtual bool SendKillSignal(int32_t pid) = 0;
  // Measures the home folder without holding up the caller: `done` gets the
  // size later, from the event loop, or at once where nothing has to wait.
  // A request while a measurement is under way is dropped; that one's
  // answer comes instead.
  virtual void MeasureHomeFolderSize(std::function<void(uint64_t bytes)> done) = 0;
  // The front window is full screen or holds the keyboard grab.
  virtual bool IsDisplayCaptured() = 0;
  // The process owning the active window; 0 when none.
  virtual int32_t FrontmostPid() = 0;
  virtual int32_t OwnPid() = 0;
  // Blocks the agent (the grace after killing a full-screen application).
  virtual void Sleep(double seconds) = 0;
};

// The server, over the client module.
class AgentServerLink {
 public:
  virtual ~AgentServerLink() = default;
  virtual int ConnectToServer() = 0;
  virtual void RequestRefill(const std::string& user, const std::string& app) = 0;
  // True when the server answered. Otherwise *out holds the disabled
  // defaults, which stand for nothing: a time-out is not a reply.
  virtual bool FetchAppSettings(const std::string& user, const std::string& app,
                                AppSettings* out) = 0;
  // A minute the server cannot be told now is kept and told later.
  virtual void MinuteUsed(const std::string& user, const std::string& app,
                          const AppSettings& settings) = 0;
  // Called at the start of every pass: while the server is away, tries to
  // reach it again now and then, never for longer than a connect takes.
  // True when it is back now (the kept minutes are on their way).
  virtual bool ReconnectIfAway() { return false; }
  // DisconnectionRequest over the local connection; 0 on success.
  virtual int DisconnectionRequest(int32_t pid) = 0;
  // GetStats: the minutes the statistics hold for (user, app) on `day` (a
  // day key); none when the server cannot say.
  virtual std::optional<int32_t> MinutesUsedOn(const std::string& user, const std::string& app,
                                               const std::string& day) {
    return std::nullopt;
  }
};

// One running application of the session, already identified.
struct RunningApplication {
  int32_t pid = 0;
  std::string identifier;   // desktop-entry ID or "com.quarlant.otherApps"
  std::string display_name;  // may be empty
  // Keys tried in order after `identifier` when a parent does not watch it,
  // each with its display name.
  struct Fallback {
    std::string identifier;
    std::string display_name;
  };
  std::vector<Fallback> fallbacks = {};
};

}  // namespace corvane
