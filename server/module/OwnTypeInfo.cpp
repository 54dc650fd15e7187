#include "server/module/OwnTypeInfo.h"

#include <string>

#include "server/module/ModulePath.h"
#include "win/ComPtr.h"
#include "win/ToHresult.h"

namespace pelvaro {

HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** typeInfo) noexcept {
    if (!typeInfo) return E_POINTER;
    *typeInfo = nullptr;
    try {
        std::string path;
        if (FAILED(GetModulePath(ThisModule(), path))) return E_FAIL;
        const std::wstring widePath = AnsiToWide(path);
        if (widePath.empty()) return E_FAIL;
        ComPtr<ITypeLib> library;
        const HRESULT hr = LoadTypeLib(widePath.c_str(), library.Put());
        if (FAILED(hr)) return hr;
        return library->GetTypeInfoOfGuid(guid, typeInfo);
    } catch (...) {
        return ToHresult();
    }
}

HRESULT OwnTypeInfoCount(REFGUID guid, UINT* count) noexcept {
    if (!count) return E_POINTER;
    ComPtr<ITypeInfo> typeInfo;
    *count = SUCCEEDED(LoadOwnTypeInfo(guid, typeInfo.Put())) ? 1 : 0;
    return S_OK;
}

HRESULT OwnTypeInfoAt(REFGUID guid, UINT index, ITypeInfo** typeInfo) noexcept {
    if (index != 0) return DISP_E_BADINDEX;
    return LoadOwnTypeInfo(guid, typeInfo);
}

}  // namespace pelvaro
