// Content digests of program files, remembered by file identity, so that
// each program costs one hash for the life of the process however often it
// is looked at, and a copy or hard link is known for what it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "Platform/System/FileIdentity.h"
#include "Sha256.h"

namespace corvane {

// Far beyond any program's own file; a bigger one is never hashed (an
// archive image of gigabytes would stall the agent for seconds).
inline constexpr uint64_t kMaxHashedBytes = 512ull << 20;
// Remembered files; past it the memory starts over, which costs only hashes.
inline constexpr size_t kMaxRememberedDigests = 4096;

class ExecutableDigests {
 public:
  // The digest of the file at `path`, hashed only when its identity is new.
  // None when it cannot be read or is too big.
  std::optional<Sha256Digest> Of(const std::string& path);
  // How many files were hashed so far.
  size_t files_hashed() const { return files_hashed_; }

 private:
  std::map<FileIdentity, Sha256Digest> remembered_;
  size_t files_hashed_ = 0;
};

}  // namespace corvane
