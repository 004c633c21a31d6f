#include "PlistFile.h"

#include "Platform/System/FileSystem.h"
#include "PlistXml.h"

namespace corvane {

std::optional<Plist> ReadPlistFile(const std::string& path, Status* why) {
  std::string bytes;
  Status s = ReadWholeFile(path, kMaxPlistFileBytes, &bytes);
  // A file being replaced at this very moment may briefly fail to open.
  if (!s.ok() && s.code() != Status::Code::kInvalidArgument) {
    s = ReadWholeFile(path, kMaxPlistFileBytes, &bytes);
  }
  if (!s.ok()) {
    if (why) *why = s;
    return std::nullopt;
  }
  Status parse;
  auto value = ParsePlistXml(bytes, &parse);
  if (!value && why) *why = Status::Corruption(path + ": " + parse.message());
  if (value && why) *why = Status::OK();
  return value;
}

int WritePlistFile(const Plist& value, const std::string& path, bool direct) {
  (void)direct;
  std::string xml;
  if (!SerializePlistXml(value, &xml)) return -1;
  Status s = WriteFileAtomically(path, xml);
  if (s.ok()) return 0;
  return s.Errno() != 0 ? -s.Errno() : -1;
}

bool SetPlistFileKey(const std::string& path, std::string_view key, Plist value) {
  auto existing = ReadPlistFile(path);
  Plist root = existing && existing->IsDictionary() ? std::move(*existing) : Plist::Dictionary();
  root.AsDictionary()->Set(std::string(key), std::move(value));
  return WritePlistFile(root, path, true) == 0;
}

}  // namespace corvane
