// The agent's start-up steps before it watches anything, as plain functions
// the program calls in order. Each prints the console line of its step.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "AgentState.h"

namespace corvane {

// How long the agent keeps trying to reach the server at start-up.
inline constexpr double kConnectPhaseSeconds = 60.0;
// The pause between two tries of Configuration 2.
inline constexpr double kConfigurationRetrySeconds = 120.0;
inline constexpr const char* kCannotContactServerKey = "Cannot contact server";
inline constexpr const char* kCannotContactRemoteServerKey = "Cannot contact remote server";

// What the agent does when the server stays out of reach at start-up.
enum class ServerMissingAction : int8_t {
  kContinue = 0,        // run without a connection: nothing is watched
  kStayIdle = 1,        // show "Cannot contact server" once, then idle
  kRetryEvery120s = 2,  // retry every 120 s, "Cannot contact remote server" per failure
};

// Writes the preference domain; prints "Preferences sync'ed." or "Could not
// sync preferences!". Start-up goes on either way.
bool SynchronizePreferencesAndReport();

// Whether `user_name` is the "Non-watched account" of the system preference
// file, ignoring letter case; prints "Cannot watch this user." when it is.
// An unreadable or absent file names no account.
bool IsNonWatchedAccount(const std::string& user_name);

// Calls ConnectToServer until it succeeds or `seconds` have passed on the
// monotonic clock; a try that fails at once is followed by a pause up to a
// second, so a machine without discovery is not spun on. The last status;
// prints "Cannot contact server err = %i." when it is not 0.
// `between_tries` runs after every failed try (the program turns its event
// loop there, so its timers keep firing while it waits).
int ConnectDuringStartup(AgentServerLink& server, AgentSystem& system,
                         double seconds = kConnectPhaseSeconds,
                         const std::function<void()>& between_tries = {});

// "Configuration" as an 8-bit signed value, read after synchronising the
// preference domain; 0 when absent.
int8_t ReadConfigurationValue();
ServerMissingAction ServerMissingActionFor(int8_t configuration);

// The four alert preferences into `state`; an absent "Last Minute Credit"
// is on, the others default to off.
void ReadAlertPreferences(AgentState* state);

}  // namespace corvane
