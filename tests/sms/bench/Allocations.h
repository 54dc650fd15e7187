#pragma once

#include <cstddef>

namespace pelvaro::bench {

// Number of calls to the global operator new so far on this thread.
std::size_t Allocations();

// Bytes of heap that this thread's allocations hold now, as the allocator counts them.
std::size_t HeldBytes();

}  // namespace pelvaro::bench
