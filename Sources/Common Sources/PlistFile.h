// Property-list files on disk: read one, write one, change one key of a
// dictionary file.
#pragma once

#include <string>
#include <string_view>

#include "Plist.h"
#include "Status.h"

namespace corvane {

// Files above this size are refused rather than read into memory.
inline constexpr size_t kMaxPlistFileBytes = 256u << 20;

// Reads and parses the file (one immediate retry when nothing could be
// read). No value when the file is missing, unreadable, too large or not a
// valid plist; the status tells which (IsNotFound() for a missing file).
StatusOr<Plist> ReadPlistFile(const std::string& path);

// Serialises `value` and replaces the file atomically, so that no reader
// ever sees a half-written file and a failed write leaves the old one.
// InvalidArgument when the value cannot be serialised; else the failing
// step's status, with its errno.
Status WritePlistFile(const Plist& value, const std::string& path);

// Reads a dictionary file (a missing or non-dictionary file counts as an
// empty dictionary), sets `key`, writes it back.
Status SetPlistFileKey(const std::string& path, std::string_view key, Plist value);

}  // namespace corvane
