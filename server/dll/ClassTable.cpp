#include "server/dll/ClassTable.h"

#include <mutex>

#include "Pelvaro_h.h"
#include "server/dll/ClassFactory.h"
#include "server/dll/ClassRegistrationScript.h"
#include "server/receiver/ReadSmsInstance.h"
#include "win/ComPtr.h"
#include "win/CriticalSection.h"

namespace pelvaro {

namespace {

struct ClassObjectEntry {
    const CLSID* clsid;
    HRESULT (*registration)(HKEY root, bool doRegister);
    InstanceCreator createInstance;
    ComPtr<IUnknown> cachedFactory;
};

ClassObjectEntry entries[] = {
    {&CLSID_CReadSms, RegisterReadSmsClass, CreateReadSms, {}},
};

CriticalSection tableLock;
bool tornDown = false;

ClassObjectEntry* FindEntry(REFCLSID clsid) {
    for (ClassObjectEntry& entry : entries) {
        if (*entry.clsid == clsid) return &entry;
    }
    return nullptr;
}

}  // namespace

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (tornDown) return E_UNEXPECTED;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ClassObjectEntry* entry = FindEntry(rclsid);
    if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
    HRESULT hr = S_OK;
    {
        // Two threads racing here must end up with one factory.
        std::lock_guard<CriticalSection> guard(tableLock);
        if (!entry->cachedFactory) {
            hr = ClassFactory::Create(entry->createInstance, IID_IUnknown,
                                      entry->cachedFactory.PutVoid());
        }
    }
    if (entry->cachedFactory) return entry->cachedFactory->QueryInterface(riid, ppv);
    return FAILED(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassObjects() noexcept {
    for (ClassObjectEntry& entry : entries) entry.cachedFactory.Reset();
    tornDown = true;
}

HRESULT RegisterClasses(HKEY root, bool doRegister) {
    for (const ClassObjectEntry& entry : entries) {
        const HRESULT hr = entry.registration(root, doRegister);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

bool ClassTableReady() noexcept {
    return tableLock.Ready();
}

}  // namespace pelvaro
