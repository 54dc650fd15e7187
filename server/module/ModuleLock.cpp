#include "server/module/ModuleLock.h"

namespace pelvaro {

namespace {
// Changed only through interlocked operations: the class factory and the
// exports may be called on any thread.
volatile LONG lockCount = 0;
}  // namespace

LONG ModuleLockCount() noexcept {
    return InterlockedCompareExchange(&lockCount, 0, 0);
}
void LockModule() noexcept {
    InterlockedIncrement(&lockCount);
}
void UnlockModule() noexcept {
    InterlockedDecrement(&lockCount);
}

}  // namespace pelvaro
