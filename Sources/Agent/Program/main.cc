// Corvane 5 Login Item: one per graphical session, as the session's user.
// Decides whether the user is watched, waits for the server, then counts
// every minute of the session and of its applications until the session
// ends.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "AgentStartup.h"
#include "AgentState.h"
#include "ApplicationWatching.h"
#include "BlockingMessage.h"
#include "CorvaneLoader.h"
#include "CorvaneServerLink.h"
#include "HotKeys.h"
#include "MinuteTick.h"
#include "Platform/X11/ApplicationWindows.h"
#include "Platform/Sessions/LoginSession.h"
#include "Platform/System/ProcessControl.h"
#include "Platform/System/ProcessIdentity.h"
#include "Platform/System/UserAccount.h"
#include "PreferenceKeys.h"
#include "Preferences.h"
#include "QtAgentUserInterface.h"
#include "MachineAgentSystem.h"
#include "TickTimer.h"
#include "WindowWatcher.h"

namespace corvane {
namespace {

// The server of this machine listens on its custom port when root set one;
// the agent's kill requests and its word that it is alive must reach it
// there.
void UseServerPortPreference(ClientOptions* options) {
  if (!PreferenceFlag(pref::kUseCustomPort, false)) return;
  int32_t port = PreferenceInteger(pref::kCustomPort).value_or(kDefaultServerPort);
  if (port > 0 && port < 65536) options->local_server_port = static_cast<uint16_t>(port);
}

// Tests run a server of their own beside any real one: a private service
// type to browse and the port of their server for kill requests. An agent
// running with raised privileges takes neither from its environment.
void ApplyTestEnvironment(ClientOptions* options) {
  if (IsPrivilegeElevated()) return;
  if (const char* type = std::getenv("CORVANE_SERVICE_TYPE"); type != nullptr && *type != 0) {
    options->service_type = type;
  }
  if (const char* port = std::getenv("CORVANE_LOCAL_SERVER_PORT"); port != nullptr) {
    long value = std::strtol(port, nullptr, 10);
    if (value > 0 && value < 65536) options->local_server_port = static_cast<uint16_t>(value);
  }
}

// Configuration 2: a try at once and then every 120 seconds until one
// connects. A failed try shows "Cannot contact remote server", unless the
// message of an earlier try is still up: an unattended screen would
// otherwise pile up one window (and one nested loop) every two minutes.
void WaitForServer(AgentServerLink& server, QtAgentUserInterface& ui) {
  QEventLoop loop;
  QTimer retry;
  retry.setInterval(static_cast<int>(kConfigurationRetrySeconds * 1000));
  auto attempt = [&] {
    if (server.ConnectToServer() == 0) {
      retry.stop();
      EndAllBlockingMessages();  // what they say is no longer true
      loop.quit();
      return;
    }
    if (!IsBlockingMessageShown(kCannotContactRemoteServerKey)) {
      ui.ShowBlockingMessage(kCannotContactRemoteServerKey, true);
    }
  };
  QObject::connect(&retry, &QTimer::timeout, attempt);
  retry.start();
  QTimer::singleShot(0, &retry, attempt);
  loop.exec();
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  using namespace corvane;
  // Before anything else: the session's user must not trace this process
  // or change its memory.
  MakeProcessUndumpable();
  // The console lines are read by whoever runs the agent, line by line.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  ClientOptions client_options;
  UseServerPortPreference(&client_options);
  ApplyTestEnvironment(&client_options);
  SetClientOptions(client_options);
  // The server of this machine ends the session when this stops: it must
  // come from the event loop, so a stopped or stuck agent falls silent.
  QTimer alive;
  QObject::connect(&alive, &QTimer::timeout, [] { SendLocalCommand(kAgentAlive, {}); });
  alive.start(kAgentAliveSeconds * 1000);
  SendLocalCommand(kAgentAlive, {});

  AgentState state;
  state.user_name = ShortUserName();
  state.login_pid = SessionLeaderPid();
  // Null without a display of X11: then only the session is watched.
  std::unique_ptr<ApplicationWindows> windows = ApplicationWindows::Open();
  // The home folder is measured on a worker whose answer comes back through
  // the event loop, so the tick never waits for a walk.
  MachineAgentSystem system(windows.get(), [&app](std::function<void()> work) {
    QMetaObject::invokeMethod(&app, std::move(work), Qt::QueuedConnection);
  });
  CorvaneServerLink server;
  TickTimer tick([&state] { OnTick(state); });
  QtAgentUserInterface ui(state, &tick);
  state.system = &system;
  state.server = &server;
  state.ui = &ui;

  SynchronizePreferencesAndReport();
  if (IsNonWatchedAccount(state.user_name)) return app.exec();
  if (ConnectDuringStartup(server, system, kConnectPhaseSeconds,
                           [] { QCoreApplication::processEvents(); }) != 0) {
    switch (ServerMissingActionFor(ReadConfigurationValue())) {
      case ServerMissingAction::kRetryEvery120s:
        WaitForServer(server, ui);
        break;
      case ServerMissingAction::kStayIdle:
        ui.ShowBlockingMessage(kCannotContactServerKey, true);
        return app.exec();
      case ServerMissingAction::kContinue:
        break;
    }
  }

  // Launches and terminations; counting stands still while the session is
  // in the background.
  WindowWatcher watcher(state, windows.get());
  QTimer session_check;
  int seconds = 0;
  QObject::connect(&session_check, &QTimer::timeout, [&] {
    tick.SetSessionActive(IsSessionActive());
    // Records of ended processes go at the next tick; the client list is
    // read again now and then only for applications that hid every window
    // before they ended, which costs the display a round trip per window.
    if (++seconds % 10 == 0) watcher.Poll();
  });
  session_check.start(1000);
  tick.Start(1.0);
  ui.CreateCreditStrip();
  // Control+Alt+C and Control+Alt+H; without them (another program holds
  // one, or there is no X11) the agent goes on.
  HotKeys hot_keys([&ui] { ui.ShowCreditStrip(); }, [&ui] { ui.ToggleStatusItem(); });
  hot_keys.Start();
  ReadAlertPreferences(&state);
  EnumerateRunningApplications(state, watcher.Start());
  ui.CreateStatusItem();
  ui.ShowCreditStrip();
  return app.exec();
}
