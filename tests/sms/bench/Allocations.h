#pragma once

#include <cstddef>

namespace pelvaro::bench {

// Number of calls to the global operator new so far on this thread.
std::size_t Allocations();

// Bytes of heap that this thread's allocations hold, as the allocator counts them, of those made
// and freed while counting was on.
std::size_t HeldBytes();
void CountHeldBytes(bool on);

}  // namespace pelvaro::bench
