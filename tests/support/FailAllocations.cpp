#include "tests/support/FailAllocations.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {
bool failing = false;
}  // namespace

void* operator new(std::size_t size) {
    void* p = failing ? nullptr : std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept {
    std::free(p);
}
// Freed storage is scribbled over, so that a walk left on it goes wrong visibly.
void operator delete(void* p, std::size_t size) noexcept {
    if (p) std::memset(p, 0xDD, size);
    std::free(p);
}

namespace pelvaro::test {

FailAllocations::FailAllocations() {
    failing = true;
}
FailAllocations::~FailAllocations() {
    failing = false;
}

AllowAllocations::AllowAllocations() : wasFailing_(std::exchange(failing, false)) {}
AllowAllocations::~AllowAllocations() {
    failing = wasFailing_;
}

}  // namespace pelvaro::test
