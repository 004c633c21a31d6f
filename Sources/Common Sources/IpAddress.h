// An IPv4 or IPv6 address as bytes, and address ranges ("192.168.1.0/24",
// "::1") to test it against.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The one way the programs name an address family.
enum class IpFamily { kIPv4, kIPv6 };

struct IpAddress {
  bool ipv6 = false;
  // Network byte order; IPv4 uses the first four bytes. An IPv4-mapped IPv6
  // address is kept as the IPv4 address it maps.
  std::array<uint8_t, 16> bytes{};

  std::string Text() const;
};

// "127.0.0.1", "::1"; none when not an address.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

struct IpRange {
  IpAddress base;
  int prefix_bits = 0;
  bool Contains(const IpAddress& a) const;
};

// "10.0.0.0/8", "192.168.1.7", "fd00::/8"; none when malformed.
std::optional<IpRange> ParseIpRange(std::string_view text);

}  // namespace corvane
