#include <unistd.h>

#include "Platform/ProcessIdentity.h"

namespace corvane {

bool IsPrivilegeElevated() { return getuid() != geteuid() || getgid() != getegid(); }

}  // namespace corvane
