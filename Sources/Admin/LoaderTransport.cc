#include "LoaderTransport.h"

#include "CorvaneLoader.h"
#include "PlistXml.h"

namespace corvane::admin {

int LoaderTransport::Send(uint8_t command, const Bytes& payload, bool reply_wanted,
                          std::optional<Plist>* reply) {
  int timeout = command == kGetStats ? 10 : reply_wanted ? 2 : 3;
  std::optional<Bytes> body;
  int status = SendCommand(command, payload, timeout, reply_wanted, reply_wanted ? &body : nullptr);
  if (status != 0 || !reply_wanted) return status;
  if (body && !body->empty()) {
    *reply = ParsePlistXml(std::string_view(reinterpret_cast<const char*>(body->data()), body->size()));
  }
  return 0;
}

bool UseAdminServer(const ServerAddress& address) {
  return UseServerAddress(address.host, address.port != 0 ? address.port : kDefaultServerPort);
}

}  // namespace corvane::admin
