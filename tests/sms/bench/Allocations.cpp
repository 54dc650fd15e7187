// Counts heap allocations, and the bytes they hold, by replacing the global operator new and
// delete. The array and sized forms fall through to these. The counts are the thread's own, kept
// without locked instructions, so that counting costs the measured code next to nothing.

#include "tests/sms/bench/Allocations.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {
thread_local std::size_t allocations = 0;
thread_local std::size_t heldBytes = 0;
thread_local bool countingBytes = false;
}  // namespace

namespace pelvaro::bench {
std::size_t Allocations() {
    return allocations;
}
std::size_t HeldBytes() {
    return heldBytes;
}
void CountHeldBytes(bool on) {
    countingBytes = on;
}
}  // namespace pelvaro::bench

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        if (countingBytes) heldBytes += malloc_usable_size(p);
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    if (countingBytes && p != nullptr) heldBytes -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
