#include <unistd.h>

#include "Platform/System/ProcessIdentity.h"

namespace corvane {

bool IsPrivilegeElevated() { return getuid() != geteuid() || getgid() != getegid(); }

uint32_t EffectiveUserID() { return static_cast<uint32_t>(geteuid()); }

int64_t CurrentUserID() { return static_cast<int64_t>(getuid()); }

}  // namespace corvane
