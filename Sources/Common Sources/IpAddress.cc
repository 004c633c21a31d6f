#include "IpAddress.h"

#include <charconv>

#include "Platform/Network/IpText.h"

namespace corvane {

std::string IpAddress::Text() const { return IpAddressText(*this); }

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  return ParseIpAddressText(std::string(text));
}

bool IpRange::Contains(const IpAddress& a) const {
  if (a.ipv6 != base.ipv6) return false;
  int bits = prefix_bits;
  for (size_t i = 0; bits > 0; ++i, bits -= 8) {
    uint8_t mask = bits >= 8 ? 0xFF : static_cast<uint8_t>(0xFF << (8 - bits));
    if ((a.bytes[i] & mask) != (base.bytes[i] & mask)) return false;
  }
  return true;
}

std::optional<IpRange> ParseIpRange(std::string_view text) {
  size_t slash = text.find('/');
  auto base = ParseIpAddress(text.substr(0, slash));
  if (!base) return std::nullopt;
  int max_bits = base->ipv6 ? 128 : 32;
  int bits = max_bits;
  if (slash != std::string_view::npos) {
    std::string_view digits = text.substr(slash + 1);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || bits < 0 ||
        bits > max_bits) {
      return std::nullopt;
    }
  }
  return IpRange{*base, bits};
}

}  // namespace corvane
