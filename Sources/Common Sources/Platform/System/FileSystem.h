// Whole-file reading and crash-safe replacement of a file.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "Status.h"

namespace corvane {

// Reads the whole file. NotFound when it does not exist; InvalidArgument when
// it is larger than `max_bytes` (nothing is read then).
Status ReadWholeFile(const std::string& path, size_t max_bytes, std::string* out);

// Replaces `path` with `data` so that a crash or power cut at any moment
// leaves either the old file or the new one, never a mix: a temporary file in
// the same folder is written, flushed with fsync, given the old file's mode
// and owner (0644 for a new file), renamed over the target, and the folder is
// synced. On failure the temporary file is removed and the old file stays.
Status WriteFileAtomically(const std::string& path, std::string_view data);
// The same, for a file given as consecutive pieces.
Status WriteFileAtomically(const std::string& path, std::span<const std::string_view> pieces);

}  // namespace corvane

namespace corvane {

// Creates `path` and any missing parents (mode 0755). OK when it exists.
Status CreateFolders(const std::string& path);

// True when `path` exists and this process, by its effective ids, may not
// write into it.
bool ExistsButNotWritable(const std::string& path);

}  // namespace corvane
