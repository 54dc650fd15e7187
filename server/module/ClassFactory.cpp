#include "server/module/ClassFactory.h"

#include <mutex>
#include <new>

#include "server/module/ModuleLock.h"

namespace pelvaro {

HRESULT ClassFactory::Create(InstanceCreator creator, REFIID riid, void** ppv) {
    *ppv = nullptr;
    ClassFactory* factory = new (std::nothrow) ClassFactory(creator);
    if (!factory) return E_OUTOFMEMORY;
    if (!factory->lock_.Ready()) {
        delete factory;
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete factory;
    return hr;
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
}

ULONG ClassFactory::AddRef() {
    std::lock_guard<CriticalSection> guard(lock_);
    const LONG count = InterlockedIncrement(&count_);
    if (count == 2) LockModule();
    return static_cast<ULONG>(count);
}

ULONG ClassFactory::Release() {
    LONG count;
    {
        std::lock_guard<CriticalSection> guard(lock_);
        count = InterlockedDecrement(&count_);
        if (count == 1) UnlockModule();
    }
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return creator_(pUnkOuter, riid, ppvObject);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
    if (fLock) {
        LockModule();
    } else {
        UnlockModule();
    }
    return S_OK;
}

}  // namespace pelvaro
