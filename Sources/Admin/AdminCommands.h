// The four c5admin commands over any transport to the server.
#pragma once

#include <optional>
#include <string>

#include "AdminCommandLine.h"
#include "Plist.h"
#include "WireCodec.h"

namespace corvane::admin {

class AdminTransport {
 public:
  virtual ~AdminTransport() = default;
  // Sends one request. With `reply_wanted`, *reply receives the parsed reply
  // (none when it was empty or did not parse). Returns 0, or a negative
  // status when the server could not be reached or the request not sent.
  virtual int Send(uint8_t command, const Bytes& payload, bool reply_wanted,
                   std::optional<Plist>* reply) = 0;
};

// Runs the request; what to print goes to *out (standard output) and *err
// (standard error). Returns the exit status: 0, or 1 on any failure.
int RunAdminRequest(const AdminRequest& request, AdminTransport& transport, std::string* out,
                    std::string* err);

}  // namespace corvane::admin
