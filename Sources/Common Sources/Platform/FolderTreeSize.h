// Logical size of a folder tree.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// The sum of the logical sizes of every file and symbolic link below
// `folder`, links not followed and folders adding nothing of their own. What
// cannot be read counts 0; a missing folder gives 0.
uint64_t FolderTreeSize(const std::string& folder);

}  // namespace corvane
