// Which file a path names, as far as its content goes: two paths with equal
// identities hold the same bytes (hard links), and a file whose identity is
// unchanged has not been written since.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t mtime_ns = 0;
  // The change time, which no user can set back: with it, rewriting a file
  // and restoring its modification time still shows.
  int64_t ctime_ns = 0;
  int64_t owner = -1;  // user id of the file's owner
  auto operator<=>(const FileIdentity&) const = default;
};

// False when `path` cannot be examined or is not a regular file.
bool IdentifyFile(const std::string& path, FileIdentity* out);

// Opens `path`, takes the identity of the opened file and passes its bytes to
// `sink` in pieces. False when it cannot be opened, is not a regular file, is
// larger than `max_bytes`, or a read fails.
bool ReadFileContent(const std::string& path, uint64_t max_bytes, FileIdentity* identity,
                     const std::function<void(const void*, size_t)>& sink);

}  // namespace corvane
