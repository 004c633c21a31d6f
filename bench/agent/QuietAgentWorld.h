// The windows and the server link the agent benchmarks run the tick with:
// windows that show nothing, and a server that never connects and answers
// every settings request alike, so only the tick itself is measured.
#pragma once

#include <optional>
#include <string>

#include "AgentInterfaces.h"

namespace corvane::bench {

class QuietInterface : public AgentUserInterface {
 public:
  bool disk_judged = false;  // the disk line was set: a measured size was judged
  void ShowBlockingMessage(const std::string&, bool) override {}
  void ShowCreditWarning(const WatchedApp&, CreditWarningKind) override {}
  void ShowCurfewWarning(bool, const WatchedApp&, double) override {}
  void RemoveAppMenuItem(int32_t) override {}
  void SetDiskMenuItem(bool, int64_t, int64_t) override { disk_judged = true; }
  void TickStatusMenu() override {}
  void ShowCreditStrip() override {}
  void RefreshCreditStrip() override {}
  void TickCreditStrip() override {}
};

class UnreachableServer : public AgentServerLink {
 public:
  // The settings every request gets; none: no answer (the defaults).
  explicit UnreachableServer(std::optional<AppSettings> answer = std::nullopt)
      : answer_(std::move(answer)) {}
  int ConnectToServer() override { return -1; }
  void RequestRefill(const std::string&, const std::string&) override {}
  bool FetchAppSettings(const std::string&, const std::string&, AppSettings* out) override {
    *out = answer_.value_or(AppSettings());
    return answer_.has_value();
  }
  void MinuteUsed(const std::string&, const std::string&, const AppSettings&) override {}
  int DisconnectionRequest(int32_t) override { return 0; }

 private:
  std::optional<AppSettings> answer_;
};

}  // namespace corvane::bench
