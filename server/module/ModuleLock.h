#pragma once
// The library's count of outstanding locks; DllCanUnloadNow answers from it.
// Living objects, enumerators, a client-held class factory and LockServer(TRUE)
// each hold one.

#include <windows.h>

namespace pelvaro {

namespace detail {
// Changed only through interlocked operations: the class factory and the exports may be called
// on any thread.
inline volatile LONG moduleLockCount = 0;
}  // namespace detail

inline LONG ModuleLockCount() noexcept {
    return InterlockedCompareExchange(&detail::moduleLockCount, 0, 0);
}
inline void LockModule() noexcept {
    InterlockedIncrement(&detail::moduleLockCount);
}
inline void UnlockModule() noexcept {
    InterlockedDecrement(&detail::moduleLockCount);
}

// Holds one module lock for as long as it lives.
class ModuleLockHolder {
  public:
    ModuleLockHolder() { LockModule(); }
    ModuleLockHolder(const ModuleLockHolder&) { LockModule(); }
    ModuleLockHolder& operator=(const ModuleLockHolder&) = default;
    ~ModuleLockHolder() { UnlockModule(); }
};

}  // namespace pelvaro
