#include "server/module/TypeInfo.h"

#include <mutex>
#include <string>

#include "Pelvaro_h.h"
#include "server/module/ModulePath.h"
#include "win/ComPtr.h"
#include "win/CriticalSection.h"
#include "win/ToHresult.h"
#include "win/Widen.h"

namespace pelvaro {

namespace {

CriticalSection cacheLock;
ComPtr<ITypeInfo> cachedClassInfo;

HRESULT LoadClassTypeInfo(ComPtr<ITypeInfo>& typeInfo) {
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(LIBID_Pelvaro, 1, 0, 0, library.Put());
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(CLSID_CReadSms, typeInfo.Put());
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo2> richer;
    if (SUCCEEDED(typeInfo.As(richer))) typeInfo = ComPtr<ITypeInfo>::Attach(richer.Detach());
    return S_OK;
}

}  // namespace

HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** typeInfo) noexcept {
    if (!typeInfo) return E_POINTER;
    *typeInfo = nullptr;
    try {
        std::string path;
        if (FAILED(GetModulePath(ThisModule(), path))) return E_FAIL;
        const std::wstring widePath = Widen(path);
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

HRESULT GetClassTypeInfo(ITypeInfo** typeInfo) noexcept {
    if (!typeInfo) return E_POINTER;
    *typeInfo = nullptr;
    std::lock_guard<CriticalSection> guard(cacheLock);
    if (!cachedClassInfo) {
        ComPtr<ITypeInfo> loaded;
        const HRESULT hr = LoadClassTypeInfo(loaded);
        if (FAILED(hr)) return hr;
        cachedClassInfo = loaded;
    }
    cachedClassInfo.CopyTo(typeInfo);
    return S_OK;
}

void ReleaseClassTypeInfo() noexcept {
    std::lock_guard<CriticalSection> guard(cacheLock);
    cachedClassInfo.Reset();
}

bool ClassTypeInfoCacheReady() noexcept {
    return cacheLock.Ready();
}

}  // namespace pelvaro
