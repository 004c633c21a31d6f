#include <arpa/inet.h>

#include <cstring>

#include "Platform/Network/IpText.h"

namespace corvane {

std::optional<IpAddress> ParseIpAddressText(const std::string& text) {
  IpAddress a;
  if (inet_pton(AF_INET, text.c_str(), a.bytes.data()) == 1) return a;
  in6_addr in6;
  if (inet_pton(AF_INET6, text.c_str(), &in6) != 1) return std::nullopt;
  if (IN6_IS_ADDR_V4MAPPED(&in6)) {
    std::memcpy(a.bytes.data(), in6.s6_addr + 12, 4);
    return a;
  }
  a.ipv6 = true;
  std::memcpy(a.bytes.data(), in6.s6_addr, 16);
  return a;
}

std::string IpAddressText(const IpAddress& a) {
  char buf[INET6_ADDRSTRLEN] = {};
  inet_ntop(a.ipv6 ? AF_INET6 : AF_INET, a.bytes.data(), buf, sizeof buf);
  return buf;
}

}  // namespace corvane
