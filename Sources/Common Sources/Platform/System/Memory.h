// The process's heap as the system sees it.
#pragma once

namespace corvane {

// Gives the heap's free pages back to the system. After a large file was
// parsed, its parser's scratch memory lies between the values that were
// kept, where the heap alone never returns it.
void ReleaseFreeMemory();

}  // namespace corvane
