// Copy and delete of whole file-system objects (one file, one link, or a
// folder with everything inside), keeping data, permissions, owner, group,
// times, extended attributes and the immutable flag.
#pragma once

#include <string>

namespace corvane {

// Results are 0 or one of these codes; any other failure is -errno.
inline constexpr int kBadArgumentError = -50;
inline constexpr int kOutOfMemoryError = -108;
inline constexpr int kNameExistsError = -48;
inline constexpr int kNotAFolderError = -1407;
inline constexpr int kCopyIntoItselfError = -1234;

// Copies `source` into the folder `destination_folder` under the source's own
// name; on success *new_path (when given) names the copy. An existing object
// of that name is left as it is and the result is kNameExistsError. A folder
// cannot be copied into itself or below itself (kCopyIntoItselfError, nothing
// created). Inside a folder, an entry that cannot be copied is skipped and
// does not change the result. A symbolic link is copied as a link.
int CopyObject(const std::string& source, const std::string& destination_folder,
               std::string* new_path = nullptr);

// Deletes a file, a link (never what it points to) or a folder with all its
// contents, clearing immutable flags and adding owner write access to folders
// on the way. Stops at the first entry that cannot be deleted; the folder
// itself then fails as not empty. -ENOENT when nothing is there.
int DeleteObject(const std::string& path);

// Flushes a folder's entries (names added, renamed or removed) to disk.
int SyncFolder(const std::string& path);

}  // namespace corvane
