#include "ExecutableDigests.h"

namespace corvane {

std::optional<Sha256Digest> ExecutableDigests::Of(const std::string& path) {
  FileIdentity identity;
  if (!IdentifyFile(path, &identity)) return std::nullopt;
  auto found = remembered_.find(identity);
  if (found != remembered_.end()) return found->second;
  Sha256 hash;
  // The identity kept is the one of the file actually read, taken from the
  // opened file, not the one looked up by name a moment before.
  if (!ReadFileContent(path, kMaxHashedBytes, &identity,
                       [&hash](const void* data, size_t size) { hash.Update(data, size); })) {
    return std::nullopt;
  }
  ++files_hashed_;
  if (remembered_.size() >= kMaxRememberedDigests) remembered_.clear();
  Sha256Digest digest = hash.Finish();
  remembered_[identity] = digest;
  return digest;
}

}  // namespace corvane
