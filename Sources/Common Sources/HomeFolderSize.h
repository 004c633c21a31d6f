// Disk use of the current user's home folder, for the disk quota.
#pragma once

#include <cstdint>

namespace corvane {

// Logical bytes of every file and symbolic link below the home folder of the
// account this process runs as (from the password database), links not
// followed; what cannot be read counts 0.
uint64_t HomeFolderSize();

}  // namespace corvane
