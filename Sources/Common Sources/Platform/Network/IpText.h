// Address text in both directions, as the system's resolver library does it.
#pragma once

#include <optional>
#include <string>

#include "IpAddress.h"

namespace corvane {

std::optional<IpAddress> ParseIpAddressText(const std::string& text);
std::string IpAddressText(const IpAddress& address);

}  // namespace corvane
