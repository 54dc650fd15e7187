#pragma once
// The library's count of outstanding locks; DllCanUnloadNow answers from it.
// Living objects, enumerators, a client-held class factory and LockServer(TRUE)
// each hold one.

#include <windows.h>

namespace pelvaro {

LONG ModuleLockCount() noexcept;
void LockModule() noexcept;
void UnlockModule() noexcept;

// Holds one module lock for as long as it lives.
class ModuleLockHolder {
  public:
    ModuleLockHolder() { LockModule(); }
    ModuleLockHolder(const ModuleLockHolder&) { LockModule(); }
    ModuleLockHolder& operator=(const ModuleLockHolder&) = default;
    ~ModuleLockHolder() { UnlockModule(); }
};

}  // namespace pelvaro
