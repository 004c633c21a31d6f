// Property-list files on disk: read one, write one, change one key of a
// dictionary file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Plist.h"
#include "Status.h"

namespace corvane {

// Files above this size are refused rather than read into memory.
inline constexpr size_t kMaxPlistFileBytes = 256u << 20;

// Reads and parses the file (one immediate retry when nothing could be
// read). None when the file is missing, unreadable, too large or not a
// valid plist; *why then tells which (IsNotFound() for a missing file).
std::optional<Plist> ReadPlistFile(const std::string& path, Status* why = nullptr);

// Serialises `value` and replaces the file atomically. Returns 0 on success,
// -1 when the value cannot be serialised, or -errno of the failing step.
// `direct` is kept for callers that name the mode: both modes are atomic,
// since neither may leave a half-written file or lose the old one.
int WritePlistFile(const Plist& value, const std::string& path, bool direct);

// Reads a dictionary file (a missing or non-dictionary file counts as an
// empty dictionary), sets `key`, writes it back. True when written.
bool SetPlistFileKey(const std::string& path, std::string_view key, Plist value);

}  // namespace corvane
