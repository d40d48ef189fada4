#pragma once

namespace platform {

// Hands the memory that the process has freed back to the system where the allocator keeps
// it (the free pages of every thread's heap), so that a burst of short-lived allocations on
// worker threads does not stay resident. Costs a walk over the free lists; call it after such
// a burst, not in a loop.
void ReturnFreedMemory();

} // namespace platform
