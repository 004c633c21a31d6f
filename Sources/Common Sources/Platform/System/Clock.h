// The wall clock, as absolute time (seconds since 2001-01-01 00:00:00 UTC).
#pragma once

#include "AbsoluteTime.h"

namespace corvane {

AbsoluteTime CurrentAbsoluteTime();

}  // namespace corvane
