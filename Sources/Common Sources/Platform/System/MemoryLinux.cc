#include "Platform/System/Memory.h"

#include <malloc.h>

namespace corvane {

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace corvane
