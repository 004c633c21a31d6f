#include "PlistFile.h"

#include "Platform/System/FileSystem.h"
#include "PlistXml.h"

namespace corvane {

StatusOr<Plist> ReadPlistFile(const std::string& path) {
  std::string bytes;
  Status s = ReadWholeFile(path, kMaxPlistFileBytes, &bytes);
  // A file being replaced at this very moment may briefly fail to open.
  if (!s.ok() && s.code() != Status::Code::kInvalidArgument) {
    s = ReadWholeFile(path, kMaxPlistFileBytes, &bytes);
  }
  if (!s.ok()) return s;
  Status parse;
  auto value = ParsePlistXml(bytes, &parse);
  if (!value) return Status::Corruption(path + ": " + parse.message());
  return std::move(*value);
}

Status WritePlistFile(const Plist& value, const std::string& path) {
  std::string xml;
  if (!SerializePlistXml(value, &xml)) {
    return Status::InvalidArgument(path + ": value holds text no plist can hold");
  }
  return WriteFileAtomically(path, xml);
}

Status SetPlistFileKey(const std::string& path, std::string_view key, Plist value) {
  auto existing = ReadPlistFile(path);
  Plist root = existing && existing->IsDictionary() ? std::move(*existing) : Plist::Dictionary();
  root.AsDictionary()->Set(std::string(key), std::move(value));
  return WritePlistFile(root, path);
}

}  // namespace corvane
