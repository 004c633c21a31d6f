// The admin requests over the shared client module's server connection.
#pragma once

#include <string>

#include "AdminCommands.h"

namespace corvane::admin {

// Requests through CorvaneLoader, with the time-outs the other clients use
// for a reply (a statistics reply may be larger: more time).
class LoaderTransport : public AdminTransport {
 public:
  int Send(uint8_t command, const Bytes& payload, bool reply_wanted,
           std::optional<Plist>* reply) override;
};

// Sends the next requests to `address` instead of a discovered server; a
// missing port is the server's default one. False when the host has no
// address.
bool UseAdminServer(const ServerAddress& address);

}  // namespace corvane::admin
