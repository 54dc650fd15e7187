#pragma once
// The module's type information, from the type library it carries. What an IDispatch describes is
// read from the module's own file every time, without registration; the class's, which
// IProvideClassInfo hands out, from the registered library, loaded by the first call that
// succeeds and kept until the module unloads.

#include <oaidl.h>

namespace pelvaro {

// E_FAIL when the module's path cannot be read whole, E_OUTOFMEMORY when memory runs out;
// otherwise the result of loading.
HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** typeInfo) noexcept;

// GetTypeInfoCount and GetTypeInfo of an IDispatch described by the interface `guid`.
HRESULT OwnTypeInfoCount(REFGUID guid, UINT* count) noexcept;
HRESULT OwnTypeInfoAt(REFGUID guid, UINT index, ITypeInfo** typeInfo) noexcept;

// A new reference to the kept class type information, or the code of the failed load. Objects
// on different threads may ask at once.
HRESULT GetClassTypeInfo(ITypeInfo** typeInfo) noexcept;
// At module unload.
void ReleaseClassTypeInfo() noexcept;
// False when the cache's lock could not be set up.
bool ClassTypeInfoCacheReady() noexcept;

}  // namespace pelvaro
