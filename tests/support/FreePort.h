// A loopback TCP port that nothing listens on, for tests and benchmarks that
// start a server of their own.
#pragma once

#include <cstdint>

namespace corvane::test {

// Binds port 0 on 127.0.0.1, reads the port the kernel chose and closes the
// socket again; 0 when no socket could be had.
uint16_t FreeLoopbackPort();

}  // namespace corvane::test
