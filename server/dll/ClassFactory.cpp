#include "server/dll/ClassFactory.h"

#include <mutex>

#include "server/module/ModuleLock.h"
#include "win/QueryInterface.h"
#include "win/ToHresult.h"

namespace pelvaro {

HRESULT ClassFactory::Create(InstanceCreator creator, REFIID riid, void** ppv) {
    *ppv = nullptr;
    ClassFactory* factory = new ClassFactory(creator);
    // A lock that cannot be set up is memory that ran out.
    const HRESULT hr = factory->lock_.Ready() ? factory->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
    if (FAILED(hr)) delete factory;
    return hr;
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
    return QueryInterfaceAs<IClassFactory>(*this, riid, ppv);
}

ULONG ClassFactory::AddRef() noexcept {
    std::lock_guard<CriticalSection> guard(lock_);
    const LONG count = InterlockedIncrement(&count_);
    if (count == 2) LockModule();
    return static_cast<ULONG>(count);
}

ULONG ClassFactory::Release() noexcept {
    LONG count;
    {
        std::lock_guard<CriticalSection> guard(lock_);
        count = InterlockedDecrement(&count_);
        if (count == 1) UnlockModule();
    }
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) noexcept {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    try {
        return creator_(pUnkOuter, riid, ppvObject);
    } catch (...) {
        return ToHresult();
    }
}

HRESULT ClassFactory::LockServer(BOOL fLock) noexcept {
    if (fLock) {
        LockModule();
    } else {
        UnlockModule();
    }
    return S_OK;
}

}  // namespace pelvaro
