// The benchmarks' data set: statistics of `users` users x `apps` apps x
// `days` days, shaped like stats.plist.
#pragma once

#include "Plist.h"

namespace corvane::bench {

Plist MakeStatsTree(int users = 100, int apps = 10, int days = 365);

}  // namespace corvane::bench
