// Logical size of a folder tree.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

struct FolderTreeOptions {
  // Folders (and files) of another file system than `folder`'s are left
  // out: a mount inside a home folder is not the user's disk use, and a walk
  // by root must not wander into network or virtual file systems.
  bool one_file_system = false;
  // A file with several names counts once, whichever names the walk meets.
  bool hard_links_once = false;
};

// The sum of the logical sizes of every file and symbolic link below
// `folder`, links not followed and folders adding nothing of their own. What
// cannot be read counts 0; a missing folder gives 0.
uint64_t FolderTreeSize(const std::string& folder, FolderTreeOptions options = {});

}  // namespace corvane
