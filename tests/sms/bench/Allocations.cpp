// Counts heap allocations by replacing the global operator new. The array and
// sized forms fall through to these two. The count is the thread's own, kept without a locked
// instruction, so that counting costs the measured code next to nothing.

#include "tests/sms/bench/Allocations.h"

#include <cstdlib>
#include <new>

namespace {
thread_local std::size_t allocations = 0;
}

namespace pelvaro::bench {
std::size_t Allocations() {
    return allocations;
}
}  // namespace pelvaro::bench

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
