#pragma once
// The class's type information from the registered type library, loaded by the first call that
// succeeds and kept until the module unloads. Objects on different threads may ask at once.

#include <oaidl.h>

namespace pelvaro {

// A new reference to the kept type information, or the code of the failed load.
HRESULT GetClassTypeInfo(ITypeInfo** typeInfo) noexcept;

// At module unload.
void ReleaseClassTypeInfo() noexcept;

// False when the cache's lock could not be set up.
bool ClassTypeInfoCacheReady() noexcept;

}  // namespace pelvaro
