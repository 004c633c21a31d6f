#include <time.h>

#include "Platform/System/Clock.h"

namespace corvane {

AbsoluteTime CurrentAbsoluteTime() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return AbsoluteTimeFromUnix(static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9);
}

}  // namespace corvane
