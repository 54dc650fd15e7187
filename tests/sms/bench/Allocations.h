#pragma once

#include <cstddef>

namespace pelvaro::bench {

// Number of calls to the global operator new so far on this thread.
std::size_t Allocations();

}  // namespace pelvaro::bench
