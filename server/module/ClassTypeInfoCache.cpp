#include "server/module/ClassTypeInfoCache.h"

#include <mutex>

#include "Pelvaro_h.h"
#include "win/ComPtr.h"
#include "win/CriticalSection.h"

namespace pelvaro {

namespace {
CriticalSection cacheLock;
ComPtr<ITypeInfo> cached;

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

HRESULT GetClassTypeInfo(ITypeInfo** typeInfo) noexcept {
    if (!typeInfo) return E_POINTER;
    *typeInfo = nullptr;
    std::lock_guard<CriticalSection> guard(cacheLock);
    if (!cached) {
        ComPtr<ITypeInfo> loaded;
        const HRESULT hr = LoadClassTypeInfo(loaded);
        if (FAILED(hr)) return hr;
        cached = loaded;
    }
    cached.CopyTo(typeInfo);
    return S_OK;
}

void ReleaseClassTypeInfo() noexcept {
    std::lock_guard<CriticalSection> guard(cacheLock);
    cached.Reset();
}

bool ClassTypeInfoCacheReady() noexcept {
    return cacheLock.Ready();
}

}  // namespace pelvaro
