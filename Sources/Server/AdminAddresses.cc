// Who may change settings. Without the preference anyone on the network
// may send SaveCredit; a lab admin narrows that to the machines named.
#include <string>

#include "Preferences.h"
#include "ServerData.h"
#include "ServerLog.h"

namespace corvane {
namespace {

constexpr const char* kAdminAddressesKey = "Admin addresses";

void AddEntry(std::string_view text, std::vector<IpRange>* ranges) {
  if (text.empty()) return;
  if (auto range = ParseIpRange(text)) {
    ranges->push_back(*range);
  } else {
    LogMessage("Admin addresses: ignoring \"%.*s\"", static_cast<int>(text.size()), text.data());
  }
}

}  // namespace

std::optional<std::vector<IpRange>> ReadAdminAddresses() {
  auto value = CopyPreference(kAdminAddressesKey);
  if (!value) return std::nullopt;
  std::vector<IpRange> ranges;
  if (const PlistArray* list = value->AsArray()) {
    for (const Plist& item : *list) {
      if (const std::string* s = item.AsString()) AddEntry(*s, &ranges);
    }
  } else if (const std::string* s = value->AsString()) {
    size_t start = 0;
    while (start <= s->size()) {
      size_t end = s->find_first_of(", \t", start);
      if (end == std::string::npos) end = s->size();
      AddEntry(std::string_view(*s).substr(start, end - start), &ranges);
      start = end + 1;
    }
  }
  return ranges;
}

bool MaySaveCredit(const ServerData& data, const IpAddress& peer) {
  if (!data.admin_ranges) return true;
  for (const IpRange& range : *data.admin_ranges) {
    if (range.Contains(peer)) return true;
  }
  return false;
}

}  // namespace corvane
