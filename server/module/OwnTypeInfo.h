#pragma once
// Type information read from the type library inside this module's own file. Nothing is kept:
// every call loads the library again, and none of it needs the library to be registered.

#include <oaidl.h>

namespace pelvaro {

// E_FAIL when the module's path cannot be read whole, E_OUTOFMEMORY when memory runs out;
// otherwise the result of loading.
HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** typeInfo) noexcept;

// GetTypeInfoCount and GetTypeInfo of an IDispatch described by the interface `guid`.
HRESULT OwnTypeInfoCount(REFGUID guid, UINT* count) noexcept;
HRESULT OwnTypeInfoAt(REFGUID guid, UINT index, ITypeInfo** typeInfo) noexcept;

}  // namespace pelvaro
