#include "HomeFolderSizeReply.h"

#include <string_view>

#include "PlistXml.h"

namespace corvane {

std::string HomeFolderSizeReply(std::optional<uint64_t> size) {
  PlistDictionary entries;
  if (size) entries.Set(kHomeFolderSizeKey, Plist::UnsignedInteger(*size));
  std::string xml;
  SerializePlistXml(Plist::Dictionary(std::move(entries)), &xml);
  return xml;
}

std::optional<uint64_t> ReadHomeFolderSizeReply(std::span<const uint8_t> body) {
  if (body.empty()) return std::nullopt;
  std::optional<Plist> parsed =
      ParsePlistXml(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  if (!parsed || !parsed->IsDictionary()) return std::nullopt;
  const Plist* size = parsed->AsDictionary()->Find(kHomeFolderSizeKey);
  std::optional<PlistInteger> bytes = size ? size->AsInteger() : std::nullopt;
  if (!bytes || (bytes->value < 0 && !bytes->is_unsigned)) return std::nullopt;
  return static_cast<uint64_t>(bytes->value);
}

}  // namespace corvane
